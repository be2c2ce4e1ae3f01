// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The value of `--history --since`: the moment from which runs are shown.
#include <chrono>
#include <optional>
#include <string>

// The moment `value` names, read as
//   YYYY-MM-DD                 that day's midnight, local time
//   YYYY-MM-DDTHH:MM[:SS]      local time ('T' or one space between)
//   ... followed by Z or +HH:MM / -HH:MM (or +HHMM)   that time in UTC or at that offset
//   today, yesterday, Nd       midnight of today, of yesterday, of N days ago (local time)
// `now` is the present moment. Nothing when the value cannot be read (an
// unknown word, a month 13, February 30, trailing text).
std::optional<std::chrono::sys_seconds> ParseSinceValue(const std::string& value, std::chrono::sys_seconds now);

// `at` written as the history writes its times: "YYYY-MM-DDTHH:MM:SSZ"
// (UTC), so that the records' times compare with it as text.
std::string RecordTimeText(std::chrono::sys_seconds at);
