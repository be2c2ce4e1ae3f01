// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long the rest of a progress phase takes, judged from how fast its bar
// has moved since the phase began.
#include <cstdint>
#include <string>

#include "i18n/message.h"

class CTimeLeft {
public:
    // The phase (or the bar's run from `pos`) begins at `nowMs`.
    void Start(uint64_t nowMs, int pos);

    // The bar stands at `pos` of `upper` at `nowMs`. Returns the seconds left
    // (rounded up), or -1 while too little has been seen to tell: less than
    // a second, or no step yet. A bar that went back starts over.
    long SecondsLeft(uint64_t nowMs, int pos, int upper);

private:
    uint64_t m_startMs = 0;
    int m_startPos = 0;
    int m_lastPos = 0;
};

// "About 1 min 20 s left", "About 40 s left" in English; the window shows it
// in the user's language.
Message TimeLeftText(long seconds);
