#pragma once
// The progress window of an update run's long phases: a large bold phase
// text above a bar. This base holds what every front end shares (the bar's
// state, the set-up order and the centring); a front end supplies the window.
#include "ui/front_end.h"
#include "ui/progress_ctrl.h"

// Title of every progress window; only the large text names the phase.
inline constexpr const char* kProgressWindowTitle = "Sending data...";

class CProgressDlg {
public:
    virtual ~CProgressDlg() = default;

    // Creates the window hidden, sets up the bar (step 1, position 0, range 0
    // to the low 16 bits of `stepCount`), sets the title, centres the window
    // on `centreOn`, gives the phase text its bold 14-point font, and shows it.
    void Start(int stepCount, const ScreenRect& centreOn, const char* phaseText,
               const char* title);

    // Destroys the window (not the object).
    virtual void DestroyWindow() = 0;

    // The bar; the update run sends it PBM_STEPIT, PBM_SETPOS and PBM_SETRANGE.
    CProgressCtrl m_progress;

protected:
    virtual void Create() = 0;                         // hidden, from the window's form
    virtual ScreenRect GetWindowRect() = 0;            // after Create
    virtual void MoveWindow(int x, int y) = 0;         // size unchanged, repainted
    virtual void SetWindowText(const char* title) = 0;
    virtual bool HasPhaseTextControl() = 0;            // the centred text under the title
    virtual void SetPhaseText(const char* phaseText) = 0;  // with the bold caption font
    virtual void ShowWindow() = 0;
};

// Where a window of this size lands when centred on `c` (divisions truncate
// toward zero).
void CentreOn(const ScreenRect& c, int width, int height, int& x, int& y);

// Opens a window for a phase in `slot`, closing any window already there
// (after reading the main window's rectangle).
void OpenProgressWindow(IFrontEnd& frontEnd, CProgressDlg** slot, const char* phaseText,
                        int stepCount);
// Closes the slot's window, if any, and empties the slot.
void CloseProgressWindow(CProgressDlg** slot);
