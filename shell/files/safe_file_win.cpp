// SPDX-License-Identifier: GPL-3.0-or-later
// Kept files on Windows: made by CREATE_NEW beside the target and moved
// over it; read as themselves, never through a reparse point.
#include <windows.h>

#include <string>
#include <vector>

#include "device/win_error.h"
#include "device/win_handle.h"
#include "i18n/text_format.h"
#include "shell/files/safe_file.h"

namespace {

bool FailedBecause(std::string& why)
{
    why = WindowsErrorText(GetLastError());
    return false;
}

}  // namespace

CReplacingFile::~CReplacingFile()
{
    if (m_file != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(m_file));
    }
    if (!m_made.empty()) {
        DeleteFileA(m_made.c_str());
    }
}

bool CReplacingFile::Open(std::string& why, unsigned /*mode: the folder's permissions are inherited*/)
{
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        const std::string name = m_target + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount() + attempt) + ".new";
        const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_file = reinterpret_cast<intptr_t>(file);
            m_made = name;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    return FailedBecause(why);
}

bool CReplacingFile::Write(std::string_view bytes, std::string& why)
{
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(m_file), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr)) {
        return FailedBecause(why);
    }
    if (written != bytes.size()) {
        why = WindowsErrorText(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

bool CReplacingFile::Commit(std::string& why)
{
    const HANDLE file = reinterpret_cast<HANDLE>(m_file);
    if (!FlushFileBuffers(file)) {
        return FailedBecause(why);
    }
    CloseHandle(file);
    m_file = -1;
    if (!MoveFileExA(m_made.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return FailedBecause(why);
    }
    m_made.clear();
    return true;
}

WriteTarget InspectWriteTarget(const std::string& path, unsigned& /*mode*/, std::string& why)
{
    // The profile's files are the user's own: ownership is not asked.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return WriteTarget::Missing;
        }
        why = WindowsErrorText(error);
        return WriteTarget::Unknown;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return WriteTarget::Link;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? WriteTarget::NotPlain : WriteTarget::OwnFile;
}

FileRead ReadRegularFile(const std::string& path, uint64_t cap, const std::function<bool(std::string_view)>& take,
                         std::string& why)
{
    const CWinHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return FileRead::Missing;
        }
        why = WindowsErrorText(error);
        return FileRead::Refused;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        why = N_("not a regular file");
        return FileRead::Refused;
    }
    std::vector<char> piece(64 * 1024);
    for (uint64_t left = cap; left > 0;) {
        DWORD got = 0;
        const DWORD wanted = left < piece.size() ? static_cast<DWORD>(left) : static_cast<DWORD>(piece.size());
        if (!ReadFile(file.Get(), piece.data(), wanted, &got, nullptr)) {
            FailedBecause(why);
            return FileRead::Refused;
        }
        if (got == 0 || !take(std::string_view(piece.data(), got))) {
            break;
        }
        left -= got;
    }
    return FileRead::Read;
}
