// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's part of the trace: its files (the problem report's too).
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr intptr_t kNoTraceFile = -1;

// Opens a regular file reached without a link for writing at its end,
// private to the user when it is made; `replace` empties it first (and makes
// its folder when that is missing). kNoTraceFile with `why` (the system's
// words) when it cannot.
intptr_t OpenTraceFile(const char* path, bool replace, std::string& why);
void CloseTraceFile(intptr_t file);
// Writes all `size` bytes by one write; 0, or the errno value of the failure.
uint32_t WriteTraceFile(intptr_t file, const char* data, size_t size);
