#pragma once
// The desktop front end: message boxes and progress windows in front of the
// main window, its Close command, and the event pump.
#include <QPointer>

#include "shell/front_end.h"
#include "shell/progress_window.h"
#include "ui/qt/guarded_dialog.h"

class CQtFrontEnd : public IFrontEnd {
public:
    CQtFrontEnd();

    // The window that owns every box and progress window; null for none.
    void SetMainWindow(CGuardedDialog* mainWindow) { m_mainWindow = mainWindow; }

    int MessageBox(const char* text, const char* caption, unsigned style,
                   const std::string& details = {}) override;
    // Ends every running event loop once control returns to it; the process
    // then exits with `code`.
    void PostQuitMessage(int code) override;

    // Progress windows are centred on the main window.
    void OpenProgress(const char* phaseText, int stepCount) override { m_progress.Open(phaseText, stepCount); }
    void StepProgress() override { m_progress.Step(); }
    void SetProgressPos(int pos) override { m_progress.SetPos(pos); }
    void SetProgressRange(int upper) override { m_progress.SetRange(upper); }
    void CloseProgress() override { m_progress.Close(); }
    bool SetCloseEnabled(bool enabled) override;
    // Serves the windows while the calculator is awaited.
    bool KeepWaiting(const ReplyWait& wait) override;

    // The open progress window, or null (tests look at it).
    CProgressDlg* ProgressWindow() const { return m_progress.Window(); }

    // The code of the last quit request; 0 when none was made.
    int QuitCode() const { return m_quitCode; }

private:
    QPointer<CGuardedDialog> m_mainWindow;
    CProgressWindows m_progress;
    int m_quitCode = 0;
};
