// SPDX-License-Identifier: GPL-3.0-or-later
// The trace files on Windows.
#include <windows.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/trace_file.h"
#include "device/win_error.h"
#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "device/win_handle.h"

intptr_t OpenTraceFile(const char* path, bool replace, std::string& why)
{
    // Only a regular file: a link or junction under the name is opened as
    // itself (and then refused), and a pipe or device is never written. A
    // handle with append access only puts each write at the end of the file
    // as it is then, whoever else appends to it.
    if (replace) {
        const std::string folder(path, std::strrchr(path, '\\') != nullptr ? std::strrchr(path, '\\') : path);
        if (!folder.empty()) {
            CreateDirectoryA(folder.c_str(), nullptr);
        }
    }
    const DWORD access = FILE_APPEND_DATA | (replace ? GENERIC_WRITE : 0);
    CWinHandle file(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        why = WindowsErrorText(GetLastError());
        return kNoTraceFile;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        why = N_("not a regular file");
        return kNoTraceFile;
    }
    // Emptied only once it is known to be a regular file of its own.
    if (replace && !SetEndOfFile(file.Get())) {
        why = WindowsErrorText(GetLastError());
        return kNoTraceFile;
    }
    return reinterpret_cast<intptr_t>(file.Release());
}

void CloseTraceFile(intptr_t file)
{
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

uint32_t WriteTraceFile(intptr_t file, const char* data, size_t size)
{
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr)) {
        return ErrnoFromWindowsError(GetLastError());
    }
    return written == size ? 0 : ENOSPC;
}
