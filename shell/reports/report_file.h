// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's part of the problem report: its file, made new beside the
// name it is given and put in place whole, and the reading of the last
// run's trace, never through a link.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

// A file written new beside `target` (made exclusively, private to the
// user) and renamed over `target` by Commit: whatever stood under that name
// (a file of someone else's, a hard link, a symbolic link) is replaced,
// never written into. Removed when it is not committed.
class CReplacingFile {
public:
    explicit CReplacingFile(std::string target) : m_target(std::move(target)) {}
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Each false with `why`, the system's words.
    bool Open(std::string& why);
    bool Write(std::string_view bytes, std::string& why);
    bool Commit(std::string& why);

private:
    std::string m_target;
    std::string m_made;   // the new file's name, until it is renamed
    intptr_t m_file = -1;
};

// What reading a file came to.
enum class FileRead { Read, Missing, Refused };

// Reads the regular file at `path`, opened without following a link, in
// pieces of at most 64 KiB, `cap` bytes at most, handing each to `take`
// (which answers false to stop). Missing when there is no such file;
// Refused with `why` when it is not a regular file or cannot be read.
FileRead ReadRegularFile(const std::string& path, uint64_t cap, const std::function<bool(std::string_view)>& take,
                         std::string& why);
