// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of update runs in a window of its own, read once: a table of
// the newest runs (newest first; a click on a heading sorts by its column,
// a second click the other way round) with the columns of the Qt window,
// and under it the selected run in full, its reason first. Above the table,
// as in the Qt window, a filter by result (all, or one result word) and by
// a text any cell holds.
#include <string>

#include "i18n/text_format.h"

struct HWND__;
class MoCatalogue;

inline constexpr const char* kWin32HistoryTitle = N_("Zentrix OS Update - history");

// Opens the window in front of `owner` (it goes with it) for the history
// at `path`, in the catalogue's language (null: English); returns it, or
// null when it cannot be made.
HWND__* ShowHistoryWindow(HWND__* owner, const std::string& path, const MoCatalogue* texts = nullptr);
