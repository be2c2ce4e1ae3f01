#pragma once
// The console front end: message boxes on the output stream answered by one
// line of input each, progress on the error stream. Scripts and tests drive
// it, so its texts stay as they are.
//
// A box looks like this, the default button in brackets:
//   == Warning ==
//   Are you sure?
//   OK [Cancel]
// and is answered by one line: ok/o/yes/y, cancel/c/no/n (any case), or an
// empty line for the default button. Anything else asks again. End of input
// answers Cancel, or OK for a box whose only button is OK.
#include <csignal>
#include <istream>
#include <ostream>

#include "shell/front_end.h"
#include "shell/progress_window.h"

class CConsoleFrontEnd : public IFrontEnd {
public:
    CConsoleFrontEnd(std::istream& in, std::ostream& out, std::ostream& err, bool errIsTerminal);
    ~CConsoleFrontEnd() override;
    CConsoleFrontEnd(const CConsoleFrontEnd&) = delete;
    CConsoleFrontEnd& operator=(const CConsoleFrontEnd&) = delete;

    // The box on the output stream; a reason goes on the error stream after
    // it as one line "zentrix-update: REASON", so that the output stays as
    // scripts know it.
    int MessageBox(const char* text, const char* caption, unsigned style,
                   const std::string& details = {}) override;
    void PostQuitMessage(int code) override { m_quitCode = code; }

    void OpenProgress(const char* phaseText, int stepCount) override { m_progress.Open(phaseText, stepCount); }
    void StepProgress() override { m_progress.Step(); }
    void SetProgressPos(int pos) override { m_progress.SetPos(pos); }
    void SetProgressRange(int upper) override { m_progress.SetRange(upper); }
    void CloseProgress() override { m_progress.Close(); }
    // Greyed Close means an interrupt from the terminal (Ctrl+C) is ignored,
    // so an update run cannot be cut off half-way by accident.
    bool SetCloseEnabled(bool enabled) override;
    bool KeepWaiting(const ReplyWait& wait) override;

    // The open progress window, or null (tests look at it).
    CProgressDlg* ProgressWindow() const { return m_progress.Window(); }

    // The code of the last quit request; 0 when none was made.
    int QuitCode() const { return m_quitCode; }

private:
    void ShowBox(const char* text, const char* caption, bool hasCancel, bool cancelIsDefault);

    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_errIsTerminal;
    CProgressWindows m_progress;
    int m_quitCode = 0;
    bool m_interruptIgnored = false;
    void (*m_previousInterrupt)(int) = SIG_DFL;
};
