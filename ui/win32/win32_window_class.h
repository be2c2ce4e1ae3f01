// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window classes of the program's own top-level windows.
#include <windows.h>

// Registers `name` with `proc`, the program's icon and the arrow cursor;
// true when the class is there (registered now or before).
bool RegisterProgramWindowClass(const wchar_t* name, WNDPROC proc);
