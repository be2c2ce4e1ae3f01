// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ownership of a POSIX file descriptor: closed (and any lock on it dropped)
// when the owner goes; and the one way files are opened without following
// a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

class CPosixFd {
public:
    explicit CPosixFd(int fd) : m_fd(fd) {}
    ~CPosixFd()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CPosixFd(const CPosixFd&) = delete;
    CPosixFd& operator=(const CPosixFd&) = delete;

    int Get() const { return m_fd; }

private:
    int m_fd;   // negative while none
};

// Opens the file at `path` with `flags` (O_NOFOLLOW, O_NONBLOCK, O_NOCTTY
// and O_CLOEXEC added; made with `mode` when `flags` create it), only as a
// regular file reached without a link: a link planted under the name is
// not followed (ELOOP; the program may run as root), and a FIFO or a
// device is neither waited on nor kept. -1 with errno when it cannot;
// `notRegular` set (errno EINVAL) when what is there is not a regular file.
// `info`, when given, gets the file's status.
inline int OpenRegularFile(const char* path, int flags, mode_t mode, bool& notRegular, struct stat* info = nullptr)
{
    notRegular = false;
    const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) {
        return -1;
    }
    struct stat status = {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = errno;
        notRegular = S_ISREG(status.st_mode) == 0 && status.st_mode != 0;
        close(fd);
        errno = notRegular ? EINVAL : error;
        return -1;
    }
    if (info != nullptr) {
        *info = status;
    }
    return fd;
}
