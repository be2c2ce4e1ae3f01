// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_child_text.h"

#include <windows.h>

#include "device/win_text.h"

std::string ChildText(HWND window, int id)
{
    HWND child = GetDlgItem(window, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(child)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
    return Utf8Text(text);
}
