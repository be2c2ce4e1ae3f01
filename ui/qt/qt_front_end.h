#pragma once
// The desktop front end: message boxes and progress windows in front of the
// main window, its Close command, and the event pump.
#include <QPointer>

#include "ui/front_end.h"
#include "ui/qt/guarded_dialog.h"

class CQtFrontEnd : public IFrontEnd {
public:
    // The window that owns every box and progress window; null for none.
    void SetMainWindow(CGuardedDialog* mainWindow) { m_mainWindow = mainWindow; }

    int MessageBox(const char* text, const char* caption, unsigned style) override;
    ScreenRect MainWindowRect() override;
    std::unique_ptr<CProgressDlg> NewProgressDlg() override;
    bool SetCloseEnabled(bool enabled) override;
    void Pump() override;
    // Ends every running event loop once control returns to it; the process
    // then exits with `code`.
    void PostQuitMessage(int code) override;

    // The code of the last quit request; 0 when none was made.
    int QuitCode() const { return m_quitCode; }

private:
    QPointer<CGuardedDialog> m_mainWindow;
    int m_quitCode = 0;
};

// The process pump of the desktop front end (see SetProcessPump).
void PumpQtEvents();
