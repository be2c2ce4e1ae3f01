#pragma once
// A front end that shows nothing and answers every box with OK: for
// measurements and fuzzing, where nobody watches.
#include <memory>

#include "ui/front_end.h"
#include "ui/progress_dlg.h"

class CQuietProgressDlg : public CProgressDlg {
public:
    void DestroyWindow() override {}

protected:
    void Create() override {}
    ScreenRect GetWindowRect() override { return {0, 0, 200, 100}; }
    void MoveWindow(int, int) override {}
    void SetWindowText(const char*) override {}
    bool HasPhaseTextControl() override { return true; }
    void SetPhaseText(const char*) override {}
    void ShowWindow() override {}
};

class CQuietFrontEnd : public IFrontEnd {
public:
    int MessageBox(const char*, const char*, unsigned) override { return IDOK; }
    ScreenRect MainWindowRect() override { return {0, 0, 800, 600}; }
    std::unique_ptr<CProgressDlg> NewProgressDlg() override { return std::make_unique<CQuietProgressDlg>(); }
    bool SetCloseEnabled(bool) override { return true; }
    void Pump() override {}
    void PostQuitMessage(int) override {}
};
