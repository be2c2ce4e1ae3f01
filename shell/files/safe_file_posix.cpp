// SPDX-License-Identifier: GPL-3.0-or-later
// Kept files on Linux: made by mkostemp (O_EXCL) beside the target and
// renamed over it; read by O_NOFOLLOW.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/posix_fd.h"
#include "i18n/text_format.h"
#include "shell/files/safe_file.h"

namespace {

bool FailedBecause(std::string& why)
{
    why = std::strerror(errno);
    return false;
}

}  // namespace

CReplacingFile::~CReplacingFile()
{
    if (m_file >= 0) {
        close(static_cast<int>(m_file));
    }
    if (!m_made.empty()) {
        unlink(m_made.c_str());
    }
}

bool CReplacingFile::Open(std::string& why, unsigned mode)
{
    std::string name = m_target + ".XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return FailedBecause(why);
    }
    m_file = fd;
    m_made = name;
    return fchmod(fd, static_cast<mode_t>(mode & 0777)) == 0 || FailedBecause(why);
}

WriteTarget InspectWriteTarget(const std::string& path, unsigned& mode, std::string& why)
{
    struct stat info = {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return WriteTarget::Missing;
        }
        FailedBecause(why);
        return WriteTarget::Unknown;
    }
    if (S_ISLNK(info.st_mode)) {
        return WriteTarget::Link;
    }
    if (!S_ISREG(info.st_mode)) {
        return WriteTarget::NotPlain;
    }
    if (info.st_uid != geteuid()) {
        return WriteTarget::OthersFile;
    }
    mode = static_cast<unsigned>(info.st_mode & 0777);
    return WriteTarget::OwnFile;
}

bool CReplacingFile::Write(std::string_view bytes, std::string& why)
{
    while (!bytes.empty()) {
        const ssize_t written = write(static_cast<int>(m_file), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written == 0 ? ENOSPC : errno;
            return FailedBecause(why);
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool CReplacingFile::Commit(std::string& why)
{
    if (fsync(static_cast<int>(m_file)) != 0 || rename(m_made.c_str(), m_target.c_str()) != 0) {
        return FailedBecause(why);
    }
    m_made.clear();
    return true;
}

FileRead ReadRegularFile(const std::string& path, uint64_t cap, const std::function<bool(std::string_view)>& take,
                         std::string& why)
{
    bool notRegular = false;
    const CPosixFd file(OpenRegularFile(path.c_str(), O_RDONLY, 0, notRegular));
    if (file.Get() < 0) {
        if (errno == ENOENT) {
            return FileRead::Missing;
        }
        if (notRegular) {
            why = N_("not a regular file");
        } else {
            FailedBecause(why);
        }
        return FileRead::Refused;
    }
    std::vector<char> piece(64 * 1024);
    for (uint64_t left = cap; left > 0;) {
        const ssize_t got = read(file.Get(), piece.data(), left < piece.size() ? static_cast<size_t>(left) : piece.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            FailedBecause(why);
            return FileRead::Refused;
        }
        if (got == 0 || !take(std::string_view(piece.data(), static_cast<size_t>(got)))) {
            break;
        }
        left -= static_cast<uint64_t>(got);
    }
    return FileRead::Read;
}
