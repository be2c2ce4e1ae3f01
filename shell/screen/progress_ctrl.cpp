// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/progress_ctrl.h"

intptr_t CProgressCtrl::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    intptr_t previous = 0;
    switch (message) {
    case PBM_SETRANGE: {
        previous = MakeRangeParam(m_lower, m_upper);
        const auto range = static_cast<uint32_t>(lParam);
        m_lower = static_cast<int>(range & 0xFFFFu);
        m_upper = static_cast<int>(range >> 16 & 0xFFFFu);
        Clamp();
        break;
    }
    case PBM_SETPOS:
        previous = m_pos;
        m_pos = static_cast<int>(wParam);
        Clamp();
        break;
    case PBM_DELTAPOS:
        previous = m_pos;
        m_pos += static_cast<int>(wParam);
        Clamp();
        break;
    case PBM_SETSTEP:
        previous = m_step;
        m_step = static_cast<int>(wParam);
        return previous;
    case PBM_STEPIT:
        previous = m_pos;
        m_pos += m_step;
        if (m_pos > m_upper) {
            m_pos = m_lower;   // the standard control starts over from the bottom
        }
        break;
    default:
        return 0;
    }
    Changed(message, wParam, lParam);
    return previous;
}

void CProgressCtrl::Clamp()
{
    if (m_pos < m_lower) {
        m_pos = m_lower;
    }
    if (m_pos > m_upper) {
        m_pos = m_upper;
    }
}

void CProgressCtrl::Changed(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (m_view != nullptr) {
        m_view->OnProgressMessage(message, wParam, lParam);
        m_view->OnProgressChanged();
    }
}
