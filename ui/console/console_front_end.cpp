#include "ui/console/console_front_end.h"

#include <string>

#include "ui/console/console_answer.h"
#include "ui/console/console_progress_dlg.h"

namespace {

void WriteText(std::ostream& out, const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '\r' && p[1] == '\n') {
            continue;   // the line feed that follows ends the line
        }
        out << *p;
    }
    out << '\n';
}

const char* ButtonLine(bool hasCancel, bool cancelIsDefault)
{
    if (!hasCancel) {
        return "[OK]";
    }
    return cancelIsDefault ? "OK [Cancel]" : "[OK] Cancel";
}

}  // namespace

CConsoleFrontEnd::CConsoleFrontEnd(std::istream& in, std::ostream& out, std::ostream& err,
                                   bool errIsTerminal)
    : m_in(in),
      m_out(out),
      m_err(err),
      m_errIsTerminal(errIsTerminal),
      m_progress([this] { return std::make_unique<CConsoleProgressDlg>(m_err, m_errIsTerminal); })
{
}

CConsoleFrontEnd::~CConsoleFrontEnd()
{
    SetCloseEnabled(true);
}

int CConsoleFrontEnd::MessageBox(const char* text, const char* caption, unsigned style,
                                 const std::string& details)
{
    const bool hasCancel = (style & 0xFu) == MB_OKCANCEL;
    const bool cancelIsDefault = hasCancel && (style & 0xF00u) == MB_DEFBUTTON2;
    const int defaultAnswer = cancelIsDefault ? IDCANCEL : IDOK;
    ShowBox(text, caption, hasCancel, cancelIsDefault);
    if (!details.empty()) {
        m_err << "zentrix-update: " << details << '\n';
        m_err.flush();
    }
    for (;;) {
        std::string line;
        if (!std::getline(m_in, line)) {
            return hasCancel ? IDCANCEL : IDOK;   // as Escape does
        }
        switch (ParseConsoleAnswer(line)) {
        case ConsoleAnswer::Default:
            return defaultAnswer;
        case ConsoleAnswer::Ok:
            return IDOK;
        case ConsoleAnswer::Cancel:
            return hasCancel ? IDCANCEL : IDOK;   // a box with only OK closes with OK
        case ConsoleAnswer::Unknown:
            m_out << (hasCancel ? "Please answer OK or Cancel.\n" : "Please answer OK.\n");
            m_out << ButtonLine(hasCancel, cancelIsDefault) << '\n';
            m_out.flush();
            break;
        }
    }
}

void CConsoleFrontEnd::ShowBox(const char* text, const char* caption, bool hasCancel,
                               bool cancelIsDefault)
{
    m_out << "== " << caption << " ==\n";
    WriteText(m_out, text);
    m_out << ButtonLine(hasCancel, cancelIsDefault) << '\n';
    m_out.flush();
}

bool CConsoleFrontEnd::KeepWaiting(const ReplyWait& /*wait*/)
{
    return true;
}

bool CConsoleFrontEnd::SetCloseEnabled(bool enabled)
{
    if (!enabled && !m_interruptIgnored) {
        m_previousInterrupt = std::signal(SIGINT, SIG_IGN);
        m_interruptIgnored = true;
    } else if (enabled && m_interruptIgnored) {
        std::signal(SIGINT, m_previousInterrupt);
        m_interruptIgnored = false;
    }
    return true;
}
