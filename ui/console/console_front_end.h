// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The console front end: message boxes on the output stream answered by one
// line of input each, progress on the error stream. Scripts and tests drive
// it, so its texts stay as they are.
//
// A box looks like this, the default button in brackets:
//   == Warning ==
//   Are you sure?
//   OK [Cancel]
// and is answered by one line: ok/o/yes/y, cancel/c/no/n (any case), the
// buttons' words and the words for yes and no in the user's language, or an
// empty line for the default button. Anything else asks again. End of input
// answers Cancel, or OK for a box whose only button is OK; Ctrl+C answers
// Cancel to every box, and the program ends.
#include <functional>
#include <ostream>
#include <utility>

#include "i18n/message.h"
#include "shell/screen/own_lines.h"
#include "shell/screen/progress_window.h"
#include "shell/session/front_end.h"
#include "shell/startup/stop_requests.h"
#include "ui/console/console_classroom_view.h"
#include "ui/console/console_input.h"
#include "ui/console/terminal_width.h"

class CConsoleFrontEnd : public IFrontEnd {
public:
    // `stops` (may be null) carries the signals' requests: Ctrl+C, SIGTERM
    // and SIGWINCH. `errSize` asks the size of the terminal on `err`
    // (empty: standard error's).
    CConsoleFrontEnd(IConsoleInput& in, std::ostream& out, std::ostream& err, bool errIsTerminal,
                     StopRequests* stops = nullptr, std::function<TerminalSize()> errSize = {});
    CConsoleFrontEnd(const CConsoleFrontEnd&) = delete;
    CConsoleFrontEnd& operator=(const CConsoleFrontEnd&) = delete;
    // The program is being ended: boxes take their Escape answer unasked.
    bool Terminating() const { return m_stops != nullptr && m_stops->terminate != 0; }

    // The box on the output stream; a reason goes on the error stream after
    // it as the program's own line (own_lines.h), so that the output stays as
    // scripts know it. Once the program is being terminated nothing is
    // asked: the box's first line and the reason go to the error stream.
    int MessageBox(const Message& text, const Message& caption, unsigned style,
                   const Message& details = {}) override;
    // The end of a set: with `retry`, a third answer, Again ("a", "again",
    // or the word in the user's language), that the question's lines say.
    int AskAnotherSet(const Message& text, const Message& caption, const Message& retry) override;
    void PostQuitMessage(int code) override { m_quitCode = code; }

    void OpenProgress(const char* phaseText, int stepCount) override
    {
        m_progress.Open(Message(phaseText).Render(m_texts).c_str(), stepCount);
    }
    void StepProgress() override { m_progress.Step(); }
    void SetProgressPos(int pos) override { m_progress.SetPos(pos); }
    void SetProgressRange(int upper) override { m_progress.SetRange(upper); }
    void CloseProgress() override { m_progress.Close(); }
    void Warn(const Message& text) override { Say(text, OwnLineKind::Warning); }
    // Greyed Close means a run is under way: Ctrl+C does not cut it off
    // half-way, unless the calculator has stopped answering.
    bool SetCloseEnabled(bool enabled) override;
    // Ends the wait on SIGTERM, or on Ctrl+C once the wait may be ended;
    // says on the error stream when the calculator has gone quiet.
    bool KeepWaiting(const ReplyWait& wait) override;

    IClassroomView* Classroom() override { return &m_classroom; }

    // --yes: every box is answered without reading input: OK to a box whose
    // default is Cancel (the warnings) or that has only OK, Cancel to a box
    // whose default is OK ("continue with the update?", "another set?").
    // The box is still shown, followed by the answer given.
    // The station as a system service: its lines say how a service is ended.
    void RunByServiceManager() { m_classroom.UseServiceWords(); }
    void AssumeYes()
    {
        m_assumeYes = true;
        m_classroom.StopReading();
    }

    // The catalogue the texts are shown in (it outlives the front end); null
    // shows them in English.
    void SetCatalogue(const MoCatalogue* texts)
    {
        m_texts = texts;
        m_classroom.SetCatalogue(texts);
    }

    // The lines of the boxes and of a set's summary are broken between words
    // to fit the terminal `outSize` reports, asked each time (zeros: no
    // terminal, they stay as they are).
    void FitBoxesTo(std::function<TerminalSize()> outSize)
    {
        m_outSize = outSize;
        m_classroom.FitSummaryTo(std::move(outSize));
    }

    // The open progress window, or null (tests look at it).
    CProgressDlg* ProgressWindow() const { return m_progress.Window(); }

    // The code of the last quit request; 0 when none was made.
    int QuitCode() const { return m_quitCode; }

private:
    // A box answered OK, Cancel or, when `again` is not empty, Again.
    int AskBox(const Message& text, const Message& caption, unsigned style, const Message& details,
               const Message& again);
    void ShowBox(const Message& text, const Message& caption, const std::string& buttons);
    void SayOnce(bool& said, const char* text);
    // The program's own line on the error stream, starting a new line after
    // a progress line.
    void Say(const Message& text, OwnLineKind kind);

    IConsoleInput& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_errIsTerminal;
    StopRequests* m_stops;
    CTerminalSize m_errSize;   // shared by the progress line and the rows
    std::function<TerminalSize()> m_outSize;
    CProgressWindows m_progress;
    CConsoleClassroomView m_classroom;
    const MoCatalogue* m_texts = nullptr;
    int m_quitCode = 0;
    bool m_assumeYes = false;
    bool m_saidSilent = false;   // during this quiet spell of the calculator
    bool m_saidBusy = false;     // during this run
};
