// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows front end: the gradient main window (dialog 102), message
// boxes through MessageBoxA, progress windows (dialog 129) on the standard
// progress control, Close greyed through the main window's system menu.
#include <memory>

#include "i18n/catalogue.h"
#include "shell/front_end.h"
#include "shell/main_window.h"
#include "shell/progress_window.h"

struct HWND__;
using WindowHandle = HWND__*;

class CWin32FrontEnd : public IFrontEnd {
public:
    CWin32FrontEnd();
    ~CWin32FrontEnd() override;
    CWin32FrontEnd(const CWin32FrontEnd&) = delete;
    CWin32FrontEnd& operator=(const CWin32FrontEnd&) = delete;

    // The main window for `owner` (a window handle number; 0: none).
    std::unique_ptr<IMainWindow> NewMainWindow(int owner, StartLoop start);

    int MessageBox(const char* text, const char* caption, unsigned style,
                   const std::string& details = {}) override;
    void PostQuitMessage(int code) override;
    void OpenProgress(const char* phaseText, int stepCount) override;
    void StepProgress() override { m_progress.Step(); }
    void SetProgressPos(int pos) override { m_progress.SetPos(pos); }
    void SetProgressRange(int upper) override { m_progress.SetRange(upper); }
    void CloseProgress() override { m_progress.Close(); }
    void Warn(const std::string& text) override;
    bool SetCloseEnabled(bool enabled) override;
    // Serves the windows (drains the thread's message queue); never ends a
    // wait on its own.
    bool KeepWaiting(const ReplyWait& wait) override;

    int QuitCode() const { return m_quitCode; }
    WindowHandle MainWindow() const { return m_main; }
    void SetMainWindow(WindowHandle main) { m_main = main; }
    // The catalogue the texts are shown in (it outlives the front end); null
    // shows them in English.
    void SetCatalogue(const MoCatalogue* texts) { m_texts = texts; }

private:
    WindowHandle m_main = nullptr;
    CProgressWindows m_progress;
    const MoCatalogue* m_texts = nullptr;
    int m_quitCode = 0;
};
