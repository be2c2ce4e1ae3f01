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

#include "ui/front_end.h"

class CConsoleFrontEnd : public IFrontEnd {
public:
    CConsoleFrontEnd(std::istream& in, std::ostream& out, std::ostream& err, bool errIsTerminal);
    ~CConsoleFrontEnd() override;
    CConsoleFrontEnd(const CConsoleFrontEnd&) = delete;
    CConsoleFrontEnd& operator=(const CConsoleFrontEnd&) = delete;

    int MessageBox(const char* text, const char* caption, unsigned style) override;
    ScreenRect MainWindowRect() override { return {}; }
    std::unique_ptr<CProgressDlg> NewProgressDlg() override;
    // Greyed Close means an interrupt from the terminal (Ctrl+C) is ignored,
    // so an update run cannot be cut off half-way by accident.
    bool SetCloseEnabled(bool enabled) override;
    void Pump() override {}
    void PostQuitMessage(int code) override { m_quitCode = code; }

    // The code of the last quit request; 0 when none was made.
    int QuitCode() const { return m_quitCode; }

private:
    void ShowBox(const char* text, const char* caption, bool hasCancel, bool cancelIsDefault);

    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_errIsTerminal;
    int m_quitCode = 0;
    bool m_interruptIgnored = false;
    void (*m_previousInterrupt)(int) = SIG_DFL;
};
