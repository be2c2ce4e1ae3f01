// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/progress_window.h"

#include <chrono>
#include <utility>

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
    m_connecting = Connecting::No;
    std::unique_ptr<CProgressDlg> next = m_make ? m_make() : nullptr;
    Close();
    m_window = std::move(next);
    if (m_window != nullptr) {
        m_window->Start(stepCount, phaseText, kProgressWindowTitle);
        m_window->ShowDevice(m_device);
        m_timeLeft.Start(m_clock(), m_window->m_progress.Pos());
        m_secondsShown = -1;
    }
}

void CProgressWindows::SetDevice(const Message& name)
{
    m_device = name;
    if (m_window != nullptr) {
        m_window->ShowDevice(m_device);
    }
}

uint64_t CProgressWindows::SteadyMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CProgressWindows::Waiting(const char* phaseText)
{
    if (m_connecting == Connecting::Awaited && m_window == nullptr) {
        Open(phaseText, 0);
        m_connecting = Connecting::Shown;
    }
}

void CProgressWindows::RunEnded()
{
    if (std::exchange(m_connecting, Connecting::No) == Connecting::Shown) {
        Close();
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
        UpdateTimeLeft();
    }
}

void CProgressWindows::UpdateTimeLeft()
{
    const CProgressCtrl& bar = m_window->m_progress;
    const long seconds = m_timeLeft.SecondsLeft(m_clock(), bar.Pos(), bar.Upper());
    if ((seconds < 0 && bar.Pos() > 0) || seconds == m_secondsShown) {
        return;   // not known yet (what was shown stays), or unchanged
    }
    m_secondsShown = seconds;
    m_window->ShowTimeLeft(seconds >= 0 ? TimeLeftText(seconds) : Message());
}
