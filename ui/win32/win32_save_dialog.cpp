// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_save_dialog.h"

#include <windows.h>
#include <commdlg.h>

bool AskWhereToSave(HWND owner, const std::wstring& title, const std::wstring& filter, const wchar_t* extension,
                    std::wstring& file)
{
    wchar_t chosen[MAX_PATH] = {};
    if (file.size() < MAX_PATH) {
        file.copy(chosen, file.size());
    }
    OPENFILENAMEW ask = {};
    ask.lStructSize = sizeof ask;
    ask.hwndOwner = owner;
    ask.lpstrFile = chosen;
    ask.nMaxFile = MAX_PATH;
    ask.lpstrTitle = title.c_str();
    ask.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ask.lpstrDefExt = extension;
    ask.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ask)) {
        return false;
    }
    file = chosen;
    return true;
}
