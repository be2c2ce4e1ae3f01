// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/time_left.h"

#include "i18n/text_format.h"

namespace {

constexpr uint64_t kFirstEstimateMs = 1000;

}  // namespace

void CTimeLeft::Start(uint64_t nowMs, int pos)
{
    m_startMs = nowMs;
    m_startPos = pos;
    m_lastPos = pos;
}

long CTimeLeft::SecondsLeft(uint64_t nowMs, int pos, int upper)
{
    if (pos < m_lastPos) {
        Start(nowMs, pos);
        return -1;
    }
    m_lastPos = pos;
    const uint64_t elapsed = nowMs - m_startMs;
    const int done = pos - m_startPos;
    if (elapsed < kFirstEstimateMs || done <= 0 || pos > upper) {
        return -1;
    }
    const uint64_t leftMs = elapsed * static_cast<uint64_t>(upper - pos) / static_cast<uint64_t>(done);
    return static_cast<long>((leftMs + 999) / 1000);
}

Message TimeLeftText(long seconds)
{
    const Message span = seconds >= 60 ? Message(N_("%d min %d s"), {std::to_string(seconds / 60),
                                                                     std::to_string(seconds % 60)})
                                       : SecondsText(static_cast<unsigned long>(seconds));
    return Message(N_("About %s left"), {span});
}
