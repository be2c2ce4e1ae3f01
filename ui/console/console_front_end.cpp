// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/console_front_end.h"

#include <cstring>
#include <string>

#include "i18n/message.h"
#include "shell/screen/own_lines.h"
#include "shell/screen/text_columns.h"
#include "shell/session/updater_app.h"
#include "ui/console/console_answer.h"
#include "ui/console/console_progress_dlg.h"
#include "ui/console/terminal_width.h"

namespace {

// "== caption ==" broken to fit `columns`; the closing mark is never left
// alone on a line.
std::string FramedCaption(const std::string& caption, int columns)
{
    const std::string framed = WrapAtWords("== " + caption + " ==", columns);
    const size_t lastLine = framed.rfind('\n');
    if (lastLine == std::string::npos || framed.compare(lastLine + 1, std::string::npos, "==") != 0 || columns <= 4) {
        return framed;
    }
    return WrapAtWords("== " + caption, columns - 3) + " ==";
}

constexpr int kErrorFd = 2;   // where `err` writes when it is a terminal

// The text's lines, CR LF shown as a line feed, each broken between words
// to fit `columns` (0: as they are).
void WriteText(std::ostream& out, const std::string& text, int columns)
{
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') {
            lines += text[i];   // the line feed after a CR ends the line
        }
    }
    out << WrapAtWords(lines, columns) << '\n';
}

constexpr const char* kOk = N_("OK");
constexpr const char* kCancel = N_("Cancel");
// The words a person answers with in the user's language ("ja", "nein"),
// beside the buttons' own words.
constexpr const char* kYes = N_("yes");
constexpr const char* kNo = N_("no");

constexpr const char* kAgain = N_("Again");

// The box's answers, the default in brackets: "[OK] Cancel", with a third
// answer "[OK] Again Cancel".
std::string ButtonLine(const MoCatalogue* texts, bool hasCancel, bool cancelIsDefault, bool again = false)
{
    const std::string ok = Message(kOk).Render(texts);
    if (!hasCancel) {
        return "[" + ok + "]";
    }
    const std::string cancel = Message(kCancel).Render(texts);
    const std::string middle = again ? " " + Message(kAgain).Render(texts) + " " : " ";
    return cancelIsDefault ? ok + middle + "[" + cancel + "]" : "[" + ok + "]" + middle + cancel;
}

}  // namespace

CConsoleFrontEnd::CConsoleFrontEnd(IConsoleInput& in, std::ostream& out, std::ostream& err,
                                   bool errIsTerminal, StopRequests* stops, std::function<TerminalSize()> errSize)
    : m_in(in),
      m_out(out),
      m_err(err),
      m_errIsTerminal(errIsTerminal),
      m_stops(stops),
      m_errSize(errSize ? std::move(errSize) : [] { return TerminalSizeOf(kErrorFd); }, stops),
      m_progress([this] { return std::make_unique<CConsoleProgressDlg>(m_err, m_errIsTerminal, &m_errSize); }),
      m_classroom(out, err, errIsTerminal, stops, &in, &m_errSize)
{
}

int CConsoleFrontEnd::MessageBox(const Message& text, const Message& caption, unsigned style,
                                 const Message& details)
{
    return AskBox(text, caption, style, details, {});
}

int CConsoleFrontEnd::AskAnotherSet(const Message& text, const Message& caption, const Message& retry)
{
    if (retry.Empty()) {
        return AskBox(text, caption, MB_OKCANCEL, {}, {});
    }
    // "Again: Update the 2 that failed again", under the question.
    return AskBox(Message(N_("%s\r\n%s: %s"), {text, Message(kAgain), retry}), caption, MB_OKCANCEL, {}, retry);
}

int CConsoleFrontEnd::AskBox(const Message& text, const Message& caption, unsigned style, const Message& details,
                             const Message& again)
{
    const bool hasCancel = (style & 0xFu) == MB_OKCANCEL;
    const bool cancelIsDefault = hasCancel && (style & 0xF00u) == MB_DEFBUTTON2;
    const bool hasAgain = hasCancel && !again.Empty();
    const int defaultAnswer = cancelIsDefault ? IDCANCEL : IDOK;
    const int escapeAnswer = hasCancel ? IDCANCEL : IDOK;
    if (m_stops != nullptr && m_stops->terminate != 0) {
        const std::string shown = text.Render(m_texts);
        const std::string first = shown.substr(0, shown.find_first_of("\r\n"));
        Say(Message::Raw(first), OwnLineKind::Plain);
        if (!details.Empty()) {
            Say(details, OwnLineKind::Error);
        }
        return escapeAnswer;
    }
    ShowBox(text, caption, ButtonLine(m_texts, hasCancel, cancelIsDefault, hasAgain));
    if (!details.Empty()) {
        Say(details, OwnLineKind::Error);
    }
    if (m_assumeYes) {
        const int answer = hasCancel && !cancelIsDefault ? IDCANCEL : IDOK;
        m_out << (answer == IDOK ? "--yes: OK\n" : "--yes: Cancel\n");
        m_out.flush();
        return answer;
    }
    const std::vector<std::string> againWords =
        hasAgain ? std::vector<std::string>{Message(kAgain).Render(m_texts)} : std::vector<std::string>{};
    for (;;) {
        std::string line;
        const InputLine got = m_in.ReadLine(line);
        if (got == InputLine::Interrupted) {
            if (m_stops != nullptr) {
                m_stops->interrupt = 0;
            }
            // Ctrl+C ends the program, even at a box with only OK: the quit
            // is the console's own, whatever the loop does with the answer.
            PostQuitMessage(kQuitCode);
            return IDCANCEL;
        }
        if (got != InputLine::Line) {
            return escapeAnswer;   // as Escape does
        }
        switch (ParseConsoleAnswer(line, {Message(kOk).Render(m_texts), Message(kYes).Render(m_texts)},
                                   {Message(kCancel).Render(m_texts), Message(kNo).Render(m_texts)}, againWords)) {
        case ConsoleAnswer::Default:
            return defaultAnswer;
        case ConsoleAnswer::Ok:
            return IDOK;
        case ConsoleAnswer::Cancel:
            return escapeAnswer;   // a box with only OK closes with OK
        case ConsoleAnswer::Again:
            return IDRETRY;
        case ConsoleAnswer::Unknown:
            m_out << Message(hasAgain    ? N_("Please answer OK, Again or Cancel.")
                             : hasCancel ? N_("Please answer OK or Cancel.")
                                         : N_("Please answer OK."))
                         .Render(m_texts)
                  << '\n';
            m_out << ButtonLine(m_texts, hasCancel, cancelIsDefault, hasAgain) << '\n';
            m_out.flush();
            break;
        }
    }
}

void CConsoleFrontEnd::ShowBox(const Message& text, const Message& caption, const std::string& buttons)
{
    const int columns = m_outSize ? m_outSize().columns : 0;
    m_out << FramedCaption(caption.Render(m_texts), columns) << '\n';
    WriteText(m_out, text.Render(m_texts), columns);
    m_out << buttons << '\n';
    m_out.flush();
}

bool CConsoleFrontEnd::SetCloseEnabled(bool enabled)
{
    if (!enabled) {
        m_saidBusy = false;
        m_saidSilent = false;
        if (m_stops != nullptr) {
            m_stops->interrupt = 0;   // a Ctrl+C before the run does not stop it
        }
    }
    return true;
}

bool CConsoleFrontEnd::KeepWaiting(const ReplyWait& wait)
{
    if (m_stops == nullptr) {
        return true;
    }
    if (m_stops->terminate != 0) {
        return false;
    }
    if (!wait.endable) {
        m_saidSilent = false;
    } else {
        SayOnce(m_saidSilent, N_("the calculator is not answering; press Ctrl+C to stop the update"));
    }
    if (m_stops->interrupt == 0) {
        return true;
    }
    m_stops->interrupt = 0;
    if (wait.endable) {
        return false;
    }
    SayOnce(m_saidBusy, N_("an update is under way and is not stopped half-way; Ctrl+C stops it only "
                           "once the calculator has stopped answering for 10 s"));
    return true;
}

void CConsoleFrontEnd::SayOnce(bool& said, const char* text)
{
    if (!said) {
        said = true;
        Say(Message(text), OwnLineKind::Warning);
    }
}

void CConsoleFrontEnd::Say(const Message& text, OwnLineKind kind)
{
    if (m_errIsTerminal && m_progress.Window() != nullptr) {
        m_err << '\n';   // below the progress line, which is redrawn in place
    }
    COwnLines(m_err, m_texts, [this] { return m_errIsTerminal ? m_errSize.Get().columns : 0; }).Say(text, kind);
}
