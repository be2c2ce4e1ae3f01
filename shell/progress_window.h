// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress window of an update run's long phases: a large bold phase
// text above a bar. This base holds what every front end's window shares
// (the bar's state and the order in which a window is set up); a front end
// supplies the window itself and where it goes on the screen.
#include <functional>
#include <memory>

#include "shell/progress_ctrl.h"

// Title of every progress window; only the large text names the phase.
inline constexpr const char* kProgressWindowTitle = "Sending data...";

class CProgressDlg {
public:
    virtual ~CProgressDlg() = default;

    // Creates the window hidden, sets up the bar (step 1, position 0, range 0
    // to the low 16 bits of `stepCount`), sets the title, places the window,
    // gives the phase text its bold 14-point font, and shows it.
    void Start(int stepCount, const char* phaseText, const char* title);

    // Destroys the window (not the object).
    virtual void DestroyWindow() = 0;

    // Shows a notice about the wait beside the phase (null takes it away);
    // a window without room for one shows nothing.
    virtual void ShowNotice(const char* /*notice*/) {}

    // The bar, driven with the standard progress control's messages.
    CProgressCtrl m_progress;

protected:
    virtual void Create() = 0;                         // hidden, from the window's form
    virtual void PlaceWindow() = 0;                    // size unchanged, repainted
    virtual void SetWindowText(const char* title) = 0;
    virtual bool HasPhaseTextControl() = 0;            // the centred text under the title
    virtual void SetPhaseText(const char* phaseText) = 0;  // with the bold caption font
    virtual void ShowWindow() = 0;
};

// The progress part of the update port for a front end with progress
// windows: at most one window at a time.
class CProgressWindows {
public:
    // Makes a new, not yet created window; may give none (nothing shown).
    using Factory = std::function<std::unique_ptr<CProgressDlg>()>;

    explicit CProgressWindows(Factory make) : m_make(std::move(make)) {}
    ~CProgressWindows() { Close(); }
    CProgressWindows(const CProgressWindows&) = delete;
    CProgressWindows& operator=(const CProgressWindows&) = delete;

    // The new window is made while the old one is still open (it is placed
    // by the main window as it was then), then the old one goes.
    void Open(const char* phaseText, int stepCount);
    void Step() { Bar(PBM_STEPIT, 0, 0); }
    void SetPos(int pos) { Bar(PBM_SETPOS, static_cast<uintptr_t>(pos), 0); }
    void SetRange(int upper) { Bar(PBM_SETRANGE, 0, MakeRangeParam(0, upper)); }
    void Close();

    // The open window, or null.
    CProgressDlg* Window() const { return m_window.get(); }

private:
    void Bar(unsigned message, uintptr_t wParam, intptr_t lParam);

    Factory m_make;
    std::unique_ptr<CProgressDlg> m_window;
};
