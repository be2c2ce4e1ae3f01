// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ZENTRIX_REPLY_TIMEOUT: the seconds of calculator silence that end a run.
#include <cstdint>
#include <string>

#include "i18n/message.h"

// The longest limit, in whole seconds, that the run's millisecond counts
// hold (about 49 days); larger values mean this.
inline constexpr uint32_t kMaxReplyTimeoutSeconds = UINT32_MAX / 1000;

struct ReplyTimeoutSetting {
    uint32_t silenceLimitMs = 0;   // 0: no limit
    // For the user, before the run: set when the value was not taken.
    Message warning;
};

// Reads the variable's `text` (null or empty: not set). A whole number of
// seconds, leading zeros and surrounding blanks allowed, is the limit (0 is
// none; above the longest, the longest); anything else is no limit and a
// warning that names the value, escaped and cut.
ReplyTimeoutSetting ParseReplyTimeout(const char* text);
