// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch copies on Windows: a new "qz" file in the user's temporary
// directory, opened exclusively (no other program can open it meanwhile)
// and deleted by the system when its handle is closed, also when the
// process dies.
#include <windows.h>

#include <cstdio>
#include <string>

#include "device/win_error.h"
#include "device/win_handle.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "update/image_files.h"

namespace {

// Attempts at a name before giving up (another file has each name tried).
constexpr int kNameAttempts = 256;

// Opens a file on a disk for reading; invalid with `problem` set otherwise.
CWinHandle OpenImage(const std::string& path, Message& problem)
{
    CWinHandle image(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!image.IsValid()) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        problem = Message(missing ? N_("image missing: %s (%s)") : N_("cannot read image %s (%s)"),
                             {path, WindowsErrorText(error)});
        return image;
    }
    if (GetFileType(image.Get()) != FILE_TYPE_DISK) {
        problem = Message(N_("image %s is not a regular file"), {path});
        image.Reset();
    }
    return image;
}

// A new file "qzXXXX.tmp" in `directory` that only this handle can reach.
CWinHandle CreateScratchFile(const std::string& directory, DWORD& error)
{
    std::string base = directory;
    if (!base.empty() && base.back() != '\\' && base.back() != '/') {
        base += '\\';
    }
    // Different for each attempt, each process and each thread.
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ GetCurrentThreadId();
    error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "qz%04lX.tmp", static_cast<unsigned long>((seed + attempt * 40503u) & 0xFFFF));
        CWinHandle file(CreateFileA((base + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (file.IsValid()) {
            return file;
        }
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    return CWinHandle();
}

bool CopyContents(HANDLE from, HANDLE to)
{
    uint8_t chunk[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, chunk, sizeof chunk, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        DWORD put = 0;
        if (!WriteFile(to, chunk, got, &put, nullptr) || put != got) {
            return false;
        }
    }
}

HANDLE AsHandle(intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

bool ReadImageFileAt(const std::string& path, uint64_t offset, uint8_t* buffer, uint32_t length)
{
    Message problem;
    const CWinHandle image = OpenImage(path, problem);
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!image.IsValid() || !SetFilePointerEx(image.Get(), at, nullptr, FILE_BEGIN)) {
        return false;
    }
    uint32_t got = 0;
    while (got < length) {
        DWORD n = 0;
        if (!ReadFile(image.Get(), buffer + got, length - got, &n, nullptr) || n == 0) {
            break;
        }
        got += n;
    }
    return got == length;
}

std::string ScratchDirectory(const std::string& configured)
{
    if (!configured.empty()) {
        return configured;
    }
    char directory[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > MAX_PATH) {
        return ".";
    }
    return std::string(directory, length);
}

bool CScratchCopy::Make(const std::string& path, const std::string& tempDir, Message& problem)
{
    Discard();
    const CWinHandle image = OpenImage(path, problem);
    if (!image.IsValid()) {
        return false;
    }
    const std::string directory = ScratchDirectory(tempDir);
    DWORD error = 0;
    CWinHandle copy = CreateScratchFile(directory, error);
    if (!copy.IsValid()) {
        problem = Message(N_("cannot make a scratch copy in %s (%s)"), {directory, WindowsErrorText(error)});
        return false;
    }
    if (!CopyContents(image.Get(), copy.Get())) {
        problem = Message(N_("cannot copy %s to %s (%s)"), {path, directory, WindowsErrorText(GetLastError())});
        return false;   // closing the handle deletes the half-made copy
    }
    m_file = reinterpret_cast<intptr_t>(copy.Release());
    m_owner = true;
    return Seek(0);
}

bool CScratchCopy::QuerySize(uint64_t& size) const
{
    LARGE_INTEGER length = {};
    if (m_file == kNoFile || !GetFileSizeEx(AsHandle(m_file), &length)) {
        return false;
    }
    size = static_cast<uint64_t>(length.QuadPart);
    return true;
}

int64_t CScratchCopy::ReadChunk(uint8_t* buffer, uint32_t length)
{
    uint32_t done = 0;
    while (done < length) {
        // The position travels with each read: readers of one copy on
        // several threads never move each other's place.
        const uint64_t at = m_offset + done;
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!ReadFile(AsHandle(m_file), buffer + done, length - done, &got, &where)) {
            return GetLastError() == ERROR_HANDLE_EOF ? static_cast<int64_t>(done) : -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void CScratchCopy::CloseFile()
{
    CloseHandle(AsHandle(m_file));   // the system deletes the file
}

namespace {

// 100 ns intervals of a FILETIME as ns (the epochs differ, the differences agree).
int64_t FileTimeNs(const FILETIME& time)
{
    ULARGE_INTEGER value = {};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<int64_t>(value.QuadPart) * 100;
}

}  // namespace

bool QueryImageFileState(const std::string& path, ImageFileState& state)
{
    // Looking never stands in the way of a program writing the file.
    CWinHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &info)) {
        return false;
    }
    state.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    state.modifiedNs = FileTimeNs(info.ftLastWriteTime);
    state.device = info.dwVolumeSerialNumber;
    state.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

int64_t FileClockNowNs()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return FileTimeNs(now);
}
