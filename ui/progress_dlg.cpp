#include "ui/progress_dlg.h"

void CProgressDlg::Start(int stepCount, const ScreenRect& centreOn, const char* phaseText,
                         const char* title)
{
    Create();
    m_progress.SendMessage(PBM_SETSTEP, 1, 0);
    m_progress.SendMessage(PBM_SETPOS, 0, 0);
    m_progress.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, stepCount));
    SetWindowText(title);

    const ScreenRect own = GetWindowRect();
    int x = 0;
    int y = 0;
    CentreOn(centreOn, own.right - own.left, own.bottom - own.top, x, y);
    MoveWindow(x, y);

    if (HasPhaseTextControl()) {
        SetPhaseText(phaseText);
    }
    ShowWindow();
}

void CentreOn(const ScreenRect& c, int width, int height, int& x, int& y)
{
    x = c.left + (c.right - c.left) / 2 - width / 2;
    y = c.top + (c.bottom - c.top) / 2 - height / 2;
}

void OpenProgressWindow(IFrontEnd& frontEnd, CProgressDlg** slot, const char* phaseText,
                        int stepCount)
{
    const ScreenRect mainRect = frontEnd.MainWindowRect();
    CloseProgressWindow(slot);
    *slot = frontEnd.NewProgressDlg().release();
    if (*slot != nullptr) {   // a front end without windows leaves the slot empty
        (*slot)->Start(stepCount, mainRect, phaseText, kProgressWindowTitle);
    }
}

void CloseProgressWindow(CProgressDlg** slot)
{
    if (*slot == nullptr) {
        return;
    }
    (*slot)->DestroyWindow();
    delete *slot;
    *slot = nullptr;
}
