// SPDX-License-Identifier: GPL-3.0-or-later
// The trace file and the clock of the trace on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "device/channel_trace.h"
#include "device/safe_text.h"

void CChannelTrace::Start()
{
    Stop();
    m_failure.clear();
    const char* path = std::getenv("ZENTRIX_TRACE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    // Only a regular file reached without a link: a link planted under the
    // name is not followed (the program may run as root), and a FIFO is
    // neither waited on nor written.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                        S_IRUSR | S_IWUSR);
    if (fd < 0) {
        m_failure = "cannot open trace file " + SafeText(path) + ": " + std::strerror(errno);
        return;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        m_failure = "cannot open trace file " + SafeText(path) + ": not a regular file";
        return;
    }
    m_file = fdopen(fd, "a");
    if (m_file == nullptr) {
        m_failure = "cannot open trace file " + SafeText(path) + ": " + std::strerror(errno);
        close(fd);
    }
}

void CChannelTrace::PutTimestamp()
{
    struct timeval now = {};
    gettimeofday(&now, nullptr);
    struct tm local = {};
    localtime_r(&now.tv_sec, &local);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::fwrite(text, 1, length, m_file);
    std::fprintf(m_file, ".%03ld ", static_cast<long>(now.tv_usec / 1000));
}

