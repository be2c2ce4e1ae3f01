#include "ui/qt/qt_front_end.h"

#include <QCoreApplication>

#include "ui/qt/qt_message_box.h"
#include "ui/qt/qt_progress_dlg.h"
#include "ui/qt/screen_rect.h"

int CQtFrontEnd::MessageBox(const char* text, const char* caption, unsigned style)
{
    return ShowMessageBox(m_mainWindow, text, caption, style);
}

ScreenRect CQtFrontEnd::MainWindowRect()
{
    return FrameRect(m_mainWindow);
}

std::unique_ptr<CProgressDlg> CQtFrontEnd::NewProgressDlg()
{
    return std::make_unique<CQtProgressDlg>(m_mainWindow);
}

bool CQtFrontEnd::SetCloseEnabled(bool enabled)
{
    if (m_mainWindow == nullptr) {
        return false;
    }
    m_mainWindow->SetCloseEnabled(enabled);
    return true;
}

void CQtFrontEnd::Pump()
{
    PumpQtEvents();
}

void CQtFrontEnd::PostQuitMessage(int code)
{
    m_quitCode = code;
    QCoreApplication::exit(code);
}

void PumpQtEvents()
{
    QCoreApplication::processEvents();
}
