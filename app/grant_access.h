// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zentrix-update --grant-access VVVV:PPPP: lets the user at the seat open one
// calculator model over USB by running the privileged helper, through pkexec
// unless the program already runs as root.
#include <string>

#include "shell/screen/own_lines.h"

// Runs the helper for `id` (VVVV:PPPP, either case) and, unless empty, the
// group `group` may open it too; returns the exit code of the option: the
// helper's, or 2 for an argument that is no ID or no group name and 1 when
// the helper cannot be started. Says what went wrong on `err`.
int GrantAccess(const std::string& id, const std::string& group, const COwnLines& err);
