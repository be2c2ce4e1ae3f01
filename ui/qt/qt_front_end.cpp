#include "ui/qt/qt_front_end.h"

#include <QCoreApplication>

#include "ui/qt/qt_message_box.h"
#include "ui/qt/qt_progress_dlg.h"
#include "ui/qt/screen_rect.h"

CQtFrontEnd::CQtFrontEnd()
    : m_progress([this] { return std::make_unique<CQtProgressDlg>(m_mainWindow, FrameRect(m_mainWindow)); })
{
}

int CQtFrontEnd::MessageBox(const char* text, const char* caption, unsigned style, const std::string& details)
{
    return ShowMessageBox(m_mainWindow, text, caption, style, details);
}

bool CQtFrontEnd::SetCloseEnabled(bool enabled)
{
    if (m_mainWindow == nullptr) {
        return false;
    }
    m_mainWindow->SetCloseEnabled(enabled);
    return true;
}

bool CQtFrontEnd::KeepWaiting(const ReplyWait& /*wait*/)
{
    QCoreApplication::processEvents();
    return true;
}

void CQtFrontEnd::PostQuitMessage(int code)
{
    m_quitCode = code;
    QCoreApplication::exit(code);
}
