// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress window of an update run's long phases: a large bold phase
// text above a bar. This base holds what every front end's window shares
// (the bar's state and the order in which a window is set up); a front end
// supplies the window itself and where it goes on the screen.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/screen/progress_ctrl.h"
#include "shell/screen/time_left.h"

// Title of every progress window; only the large text names the phase.
inline constexpr const char* kProgressWindowTitle = "Sending data...";
// The phase of a run that has taken its calculator and waits for its first
// answer.
inline constexpr const char* kConnectingPhaseText = N_("Connecting to the calculator...");

class CProgressDlg {
public:
    virtual ~CProgressDlg() = default;

    // Creates the window hidden, sets up the bar (step 1, position 0, range 0
    // to the low 16 bits of `stepCount`), sets the title, places the window,
    // gives the phase text its bold 14-point font, and shows it.
    void Start(int stepCount, const char* phaseText, const char* title);

    // Destroys the window (not the object).
    virtual void DestroyWindow() = 0;

    // Shows a notice about the wait in the window's body, in full, with a
    // Stop button (no message takes both away); a window without room for one
    // shows nothing.
    virtual void ShowNotice(const Message& /*notice*/) {}

    // Below the bar: the calculator's name, and the time left once it is
    // known (empty: not known), in the window's language.
    virtual void ShowDevice(const Message& /*name*/) {}
    virtual void ShowTimeLeft(const Message& /*text*/) {}

    // True once (then forgotten) when Stop was pressed or the window was
    // closed while its notice was shown.
    virtual bool TakeStopRequest() { return false; }

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
    // Milliseconds from any fixed start; the time left is judged by it.
    using Clock = std::function<uint64_t()>;

    explicit CProgressWindows(Factory make, Clock clock = SteadyMs) : m_make(std::move(make)), m_clock(std::move(clock))
    {
    }
    ~CProgressWindows() { Close(); }
    CProgressWindows(const CProgressWindows&) = delete;
    CProgressWindows& operator=(const CProgressWindows&) = delete;

    // The new window is made while the old one is still open (it is placed
    // by the main window as it was then), then the old one goes.
    void Open(const char* phaseText, int stepCount);
    // A run has taken its calculator: until its first phase opens a window,
    // its first wait opens one for `phaseText` (kConnectingPhaseText as the
    // window takes it), so a calculator that does not answer is waited for
    // where the stall notice and Stop are shown. RunEnded takes it away.
    void AwaitFirstPhase() { m_connecting = Connecting::Awaited; }
    void Waiting(const char* phaseText);
    void RunEnded();
    void Step() { Bar(PBM_STEPIT, 0, 0); }
    void SetPos(int pos) { Bar(PBM_SETPOS, static_cast<uintptr_t>(pos), 0); }
    // The calculator every window from now on names (English).
    void SetDevice(const Message& name);
    void SetRange(int upper) { Bar(PBM_SETRANGE, 0, MakeRangeParam(0, upper)); }
    void Close();

    // The open window, or null.
    CProgressDlg* Window() const { return m_window.get(); }

    static uint64_t SteadyMs();

private:
    void Bar(unsigned message, uintptr_t wParam, intptr_t lParam);
    void UpdateTimeLeft();

    Factory m_make;
    Clock m_clock;
    std::unique_ptr<CProgressDlg> m_window;
    Message m_device;
    CTimeLeft m_timeLeft;
    long m_secondsShown = -1;
    enum class Connecting { No, Awaited, Shown } m_connecting = Connecting::No;
};
