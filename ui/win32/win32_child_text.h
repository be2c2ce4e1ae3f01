// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of a dialog's or window's child control, as UTF-8.
#include <string>

struct HWND__;

std::string ChildText(HWND__* window, int id);
