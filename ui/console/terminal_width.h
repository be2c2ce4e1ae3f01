// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The size of the terminal lines are drawn on, kept between drawings.
#include <functional>

#include "shell/screen/terminal_size.h"
#include "shell/startup/stop_requests.h"

// The size of one terminal as the lines drawn on it should take it: read
// once, and again after SIGWINCH said it changed (StopRequests::resized,
// cleared here) or after Forget. Everything that fits lines to the same
// terminal shares one, so that none of them misses a change.
class CTerminalSize {
public:
    // `read` (may be empty: size unknown) asks the terminal; `stops` (may
    // be null) carries the resize requests.
    CTerminalSize(std::function<TerminalSize()> read, StopRequests* stops);

    const TerminalSize& Get();
    // The next Get asks the terminal again.
    void Forget() { m_known = false; }

private:
    std::function<TerminalSize()> m_read;
    StopRequests* m_stops;
    TerminalSize m_size;
    bool m_known = false;
};
