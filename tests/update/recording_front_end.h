#pragma once
// A front end for tests: answers message boxes from a script and records
// every progress-window call and bar message.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/front_end.h"
#include "ui/progress_dlg.h"

class RecordingFrontEnd : public IFrontEnd {
public:
    // "open <text> <steps>", "close", "step", "pos 0", "range 0-N", ...
    std::vector<std::string> events;
    int openWindows = 0;
    ScreenRect mainRect{100, 50, 873, 638};
    // Called with the phase text whenever a progress window is shown.
    std::function<void(const std::string&)> onWindowShown;

    int MessageBox(const char*, const char*, unsigned) override { return IDOK; }
    ScreenRect MainWindowRect() override { return mainRect; }
    std::unique_ptr<CProgressDlg> NewProgressDlg() override;
    bool SetCloseEnabled(bool) override { return true; }
    void Pump() override {}
    void PostQuitMessage(int) override {}

    // The events with every "step" run collapsed to "step xN".
    std::vector<std::string> Summary() const;
};

class RecordingProgressDlg : public CProgressDlg, private IProgressView {
public:
    explicit RecordingProgressDlg(RecordingFrontEnd& owner) : m_owner(owner) { m_progress.SetView(this); }
    ~RecordingProgressDlg() override;
    void DestroyWindow() override;

protected:
    void Create() override { ++m_owner.openWindows; }
    ScreenRect GetWindowRect() override { return {0, 0, 280, 150}; }
    void MoveWindow(int, int) override {}
    void SetWindowText(const char* title) override { m_title = title; }
    bool HasPhaseTextControl() override { return true; }
    void SetPhaseText(const char* text) override;
    void ShowWindow() override;

private:
    void OnProgressChanged() override {}
    void OnProgressMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    RecordingFrontEnd& m_owner;
    std::string m_title;
    std::string m_text;
    bool m_shown = false;
    bool m_destroyed = false;
};
