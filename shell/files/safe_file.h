// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files kept for the user (the problem report, the configuration file):
// made new beside the name they are given and put in place whole, so that a
// crash at any moment leaves the old file or the new one; read never
// through a link.
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

    // Each false with `why`, the system's words. `mode`: the new file's
    // permissions where the system has them (private by default).
    bool Open(std::string& why, unsigned mode = 0600);
    bool Write(std::string_view bytes, std::string& why);
    bool Commit(std::string& why);

private:
    std::string m_target;
    std::string m_made;   // the new file's name, until it is renamed
    intptr_t m_file = -1;
};

// What stands under a name the program is about to put a file in place of.
enum class WriteTarget {
    Missing,     // nothing: the file is made
    OwnFile,     // a plain file of the user's; `mode` gets its permissions
    Link,        // a symbolic link (a reparse point on Windows)
    OthersFile,  // a plain file that belongs to another user
    NotPlain,    // a folder, a device, a pipe
    Unknown,     // it cannot be looked at; `why` says why
};
WriteTarget InspectWriteTarget(const std::string& path, unsigned& mode, std::string& why);

// What reading a file came to.
enum class FileRead { Read, Missing, Refused };

// Reads the regular file at `path`, opened without following a link, in
// pieces of at most 64 KiB, `cap` bytes at most, handing each to `take`
// (which answers false to stop). Missing when there is no such file;
// Refused with `why` when it is not a regular file or cannot be read.
FileRead ReadRegularFile(const std::string& path, uint64_t cap, const std::function<bool(std::string_view)>& take,
                         std::string& why);
