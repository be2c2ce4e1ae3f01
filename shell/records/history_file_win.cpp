// SPDX-License-Identifier: GPL-3.0-or-later
// The history file on Windows: its place under %LOCALAPPDATA%, and appends
// under LockFileEx, each written whole and flushed.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "device/safe_text.h"
#include "device/win_handle.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/records/history_file.h"

namespace {

// `pattern` names the path and then Windows' error number.
bool AppendFailed(const char* pattern, const std::string& path, Message& problem)
{
    const DWORD error = GetLastError();
    problem = Message(pattern, {SafeText(path), std::to_string(error)});
    return false;
}

// Whether the file's last byte is not a line feed (a torn line).
bool EndsTorn(HANDLE file)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) {
        return false;
    }
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD read = 0;
    return ReadFile(file, &last, 1, &read, &at) && read == 1 && last != '\n';
}

}  // namespace

std::string HistoryFilePath()
{
    // XDG_STATE_HOME, when set, moves the history here too (tests, a station).
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] != '\0') {
        return std::string(state) + "\\zentrix-update\\history.jsonl";
    }
    const char* local = std::getenv("LOCALAPPDATA");
    if (local == nullptr || local[0] == '\0') {
        return {};
    }
    return std::string(local) + "\\zentrix-update\\history.jsonl";
}

std::string HostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

namespace {

bool IsReparsePoint(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

LockTry TryLock(HANDLE file, OVERLAPPED& whole)
{
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        return LockTry::Taken;
    }
    const DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockTry::Busy : LockTry::Failed;
}

}  // namespace

bool AppendHistoryLine(const std::string& path, const std::string& line, const std::function<bool()>& keepTrying,
                       Message& problem)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            problem = Message(N_("cannot make the folder %s: %s"), {SafeText(folder.string()), error.message()});
            return false;
        }
    }
    if (IsReparsePoint(path) || IsReparsePoint(folder.string())) {
        problem = Message(N_("%s is a symbolic link; nothing is written through it"), {SafeText(path)});
        return false;
    }
    const CWinHandle file(CreateFileA(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        return AppendFailed(N_("cannot open %s (Windows error %d)"), path, problem);
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        problem = Message(N_("%s is not a regular file"), {SafeText(path)});
        return false;
    }
    OVERLAPPED whole = {};
    HANDLE handle = file.Get();
    switch (RetryLock([handle, &whole] { return TryLock(handle, whole); }, keepTrying)) {
    case LockTry::Taken: break;
    case LockTry::Busy: problem = Message(N_("%s is locked by another program"), {SafeText(path)}); return false;
    case LockTry::Failed: return AppendFailed(N_("cannot lock %s (Windows error %d)"), path, problem);
    }
    // Written in one piece while the lock is held; the lock goes with the handle.
    const std::string bytes = (EndsTorn(file.Get()) ? "\n" : "") + line + "\n";
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        return AppendFailed(N_("cannot write to %s (Windows error %d)"), path, problem);
    }
    if (!FlushFileBuffers(file.Get())) {
        return AppendFailed(N_("cannot flush %s (Windows error %d)"), path, problem);
    }
    UnlockFileEx(file.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    return true;
}
