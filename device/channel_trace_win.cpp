// SPDX-License-Identifier: GPL-3.0-or-later
// The trace file and the clock of the trace on Windows.
#include <windows.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/channel_trace.h"
#include "device/win_error.h"
#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "device/win_handle.h"

void CChannelTrace::OpenFile(const char* path)
{
    // Only a regular file: a link or junction under the name is opened as
    // itself (and then refused), and a pipe or device is never written. A
    // handle with append access only puts each line's one write at the end
    // of the file as it is then, whoever else appends to it.
    CWinHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        m_failure = FormatText(N_("cannot open trace file %s: %s"), {SafeText(path), WindowsErrorText(GetLastError())});
        return;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        m_failure = FormatText(N_("cannot open trace file %s: %s"), {SafeText(path), N_("not a regular file")});
        return;
    }
    m_file = reinterpret_cast<intptr_t>(file.Release());
}

void CChannelTrace::CloseFile()
{
    CloseHandle(reinterpret_cast<HANDLE>(m_file));
}

uint32_t CChannelTrace::WriteLine()
{
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(m_file), m_line.data(), static_cast<DWORD>(m_line.size()), &written,
                   nullptr)) {
        return ErrnoFromWindowsError(GetLastError());
    }
    return written == m_line.size() ? 0 : ENOSPC;
}

void CChannelTrace::AppendTimestamp()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                                     now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    m_line.append(text, length > 0 ? static_cast<size_t>(length) : 0);
}
