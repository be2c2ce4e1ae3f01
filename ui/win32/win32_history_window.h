// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of update runs in a window of its own: the table
// `zentrix-update --history` prints, read once, in a read-only text box.
#include <string>

struct HWND__;

inline constexpr const char* kWin32HistoryTitle = "Zentrix OS Update - history";

// Opens the window in front of `owner` (it goes with it) for the history
// at `path`; returns it, or null when it cannot be made.
HWND__* ShowHistoryWindow(HWND__* owner, const std::string& path);
