// SPDX-License-Identifier: GPL-3.0-or-later
// The trace file and the clock of the trace on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/channel_trace.h"
#include "device/safe_text.h"
#include "device/win_handle.h"

namespace {

std::string WindowsErrorText(DWORD error)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
        result.pop_back();
    }
    return result.empty() ? "error " + std::to_string(error) : result;
}

}  // namespace

void CChannelTrace::Start()
{
    Stop();
    m_failure.clear();
    const char* path = std::getenv("ZENTRIX_TRACE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    // Only a regular file: a link or junction under the name is opened as
    // itself (and then refused), and a pipe or device is never written.
    CWinHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        m_failure = "cannot open trace file " + SafeText(path) + ": " + WindowsErrorText(GetLastError());
        return;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        m_failure = "cannot open trace file " + SafeText(path) + ": not a regular file";
        return;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        m_failure = "cannot open trace file " + SafeText(path) + ": no descriptor for it";
        return;
    }
    file.Release();   // the descriptor owns the handle now
    m_file = _fdopen(fd, "ab");
    if (m_file == nullptr) {
        m_failure = "cannot open trace file " + SafeText(path) + ": " + std::strerror(errno);
        _close(fd);
    }
}

void CChannelTrace::PutTimestamp()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    std::fprintf(m_file, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond, now.wMilliseconds);
}
