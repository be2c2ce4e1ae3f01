// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ZENTRIX_REPLY_TIMEOUT and the configuration key reply-timeout: the
// seconds of calculator silence that end a run.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "i18n/message.h"

// The longest limit, in whole seconds, that the run's millisecond counts
// hold (about 49 days); larger values mean this.
inline constexpr uint32_t kMaxReplyTimeoutSeconds = UINT32_MAX / 1000;

// The limit of a run nobody watches (--yes, --json) when none is set: a
// calculator silent this long is given up, so that the set ends by itself.
inline constexpr uint32_t kUnattendedSilenceLimitMs = 60 * 1000;

struct ReplyTimeoutSetting {
    uint32_t silenceLimitMs = 0;   // 0: no limit
    bool set = false;              // the variable has a limit of its own (0 included)
    bool malformed = false;        // the variable has a value that is no number of seconds
    // For the user, before the run: set when the value was not taken.
    Message warning;
    Message refusal;   // the same, where a malformed value stops the program (--yes)
};

// Reads the variable's `text` (null or empty: not set). A whole number of
// seconds, leading zeros and surrounding blanks allowed, is the limit (0 is
// none; above the longest, the longest); anything else is `malformed`, as
// if not set (the limit is the one there would be without it), with a
// warning that names the value, escaped and cut.
ReplyTimeoutSetting ParseReplyTimeout(const char* text);

// A whole number of seconds with surrounding blanks, in milliseconds (above
// the longest, the longest); nothing when `text` is anything else.
std::optional<uint32_t> ParseSilenceSeconds(std::string_view text);

struct SilenceLimit {
    uint32_t ms = 0;   // 0: no limit
    Message source;    // where it comes from; empty: the variable
};
// The run's silence limit: the variable when set, else the configuration
// files' reply-timeout, else kUnattendedSilenceLimitMs when nobody watches
// and no limit when someone does.
SilenceLimit ChooseSilenceLimit(const ReplyTimeoutSetting& environment, std::optional<uint32_t> configuredMs,
                                bool unattended);
