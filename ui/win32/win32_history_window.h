// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of update runs in a window of its own: the table
// `zentrix-update --history` prints, read once, in a read-only text box.
#include <string>

#include "i18n/text_format.h"

struct HWND__;
class MoCatalogue;

inline constexpr const char* kWin32HistoryTitle = N_("Zentrix OS Update - history");

// Opens the window in front of `owner` (it goes with it) for the history
// at `path`, in the catalogue's language (null: English); returns it, or
// null when it cannot be made.
HWND__* ShowHistoryWindow(HWND__* owner, const std::string& path, const MoCatalogue* texts = nullptr);
