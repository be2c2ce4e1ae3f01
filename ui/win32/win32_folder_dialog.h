// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The image folder chooser on Windows: the system's folder dialog, asked
// again at the same folder after a folder the check refuses has been said
// in a box.
#include <string>

#include "shell/session/front_end.h"

struct HWND__;
class MoCatalogue;

// Asks for a folder in front of `owner`, starting in `folder` (empty: the
// dialog's own choice). False when the user cancels or the dialog cannot be
// shown; otherwise `folder` is the one chosen, which `check` accepted.
bool RunWin32FolderDialog(HWND__* owner, std::string& folder, const ImageFolderCheck& check, const MoCatalogue* texts);
