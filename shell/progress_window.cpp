// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/progress_window.h"

void CProgressDlg::Start(int stepCount, const char* phaseText, const char* title)
{
    Create();
    m_progress.SendMessage(PBM_SETSTEP, 1, 0);
    m_progress.SendMessage(PBM_SETPOS, 0, 0);
    m_progress.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, stepCount));
    SetWindowText(title);
    PlaceWindow();
    if (HasPhaseTextControl()) {
        SetPhaseText(phaseText);
    }
    ShowWindow();
}

void CProgressWindows::Open(const char* phaseText, int stepCount)
{
    std::unique_ptr<CProgressDlg> next = m_make ? m_make() : nullptr;
    Close();
    m_window = std::move(next);
    if (m_window != nullptr) {
        m_window->Start(stepCount, phaseText, kProgressWindowTitle);
    }
}

void CProgressWindows::Close()
{
    if (m_window != nullptr) {
        m_window->DestroyWindow();
        m_window.reset();
    }
}

void CProgressWindows::Bar(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (m_window != nullptr) {
        m_window->m_progress.SendMessage(message, wParam, lParam);
    }
}
