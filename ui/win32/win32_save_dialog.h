// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's "Save as" dialog, as every window of the program asks it.
#include <string>

struct HWND__;

// Asks where to save in front of `owner`, proposing `file` (a name or a whole
// path), with `title`; `filter` ("Name\0*.ext\0", empty: every file) and
// `extension` (added when none is typed; null: none). True with `file` the
// path chosen; false when the user cancels.
bool AskWhereToSave(HWND__* owner, const std::wstring& title, const std::wstring& filter, const wchar_t* extension,
                    std::wstring& file);
