// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/terminal_width.h"

#include <utility>

CTerminalSize::CTerminalSize(std::function<TerminalSize()> read, StopRequests* stops)
    : m_read(std::move(read)), m_stops(stops)
{
}

const TerminalSize& CTerminalSize::Get()
{
    const bool resized = m_stops != nullptr && m_stops->resized != 0;
    if (!m_known || resized) {
        if (resized) {
            m_stops->resized = 0;
        }
        m_size = m_read ? m_read() : TerminalSize{};
        m_known = true;
    }
    return m_size;
}
