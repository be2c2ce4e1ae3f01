// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ownership of a POSIX file descriptor: closed (and any lock on it dropped)
// when the owner goes.
#include <unistd.h>

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
