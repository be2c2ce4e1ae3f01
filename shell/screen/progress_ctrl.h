// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress bar's state, driven by the messages of the standard
// progress-bar control. Toolkit-free: a window shows it and is told of every
// change.
#include <cstdint>

constexpr unsigned PBM_SETRANGE = 0x401;
constexpr unsigned PBM_SETPOS = 0x402;
constexpr unsigned PBM_DELTAPOS = 0x403;
constexpr unsigned PBM_SETSTEP = 0x404;
constexpr unsigned PBM_STEPIT = 0x405;

// lParam of PBM_SETRANGE for the range 0 .. n (low 16 bits of n in the high word).
constexpr intptr_t MakeRangeParam(int low, int high)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(high) & 0xFFFFu) << 16 |
                                 (static_cast<uint32_t>(low) & 0xFFFFu));
}

class IProgressView {
public:
    virtual ~IProgressView() = default;
    virtual void OnProgressChanged() = 0;
    // Every message the bar handled, before OnProgressChanged (for recording).
    virtual void OnProgressMessage(unsigned /*message*/, uintptr_t /*wParam*/, intptr_t /*lParam*/) {}
};

class CProgressCtrl {
public:
    // Handles PBM_SETRANGE, PBM_SETPOS, PBM_DELTAPOS, PBM_SETSTEP and
    // PBM_STEPIT as the standard control does; other messages return 0.
    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam);

    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    int Pos() const { return m_pos; }
    int Step() const { return m_step; }

    void SetView(IProgressView* view) { m_view = view; }

private:
    void Clamp();
    void Changed(unsigned message, uintptr_t wParam, intptr_t lParam);

    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
    int m_step = 10;
    IProgressView* m_view = nullptr;
};
