// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_window_class.h"

#include "ui/win32/resource_ids.h"

bool RegisterProgramWindowClass(const wchar_t* name, WNDPROC proc)
{
    WNDCLASSEXW c = {};
    c.cbSize = sizeof c;
    c.lpfnWndProc = proc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hIcon = LoadIconW(c.hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    c.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));   // IDC_ARROW
    c.lpszClassName = name;
    return RegisterClassExW(&c) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
