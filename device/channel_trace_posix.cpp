// SPDX-License-Identifier: GPL-3.0-or-later
// The trace file and the clock of the trace on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "device/channel_trace.h"
#include "device/safe_text.h"
#include "i18n/text_format.h"

void CChannelTrace::OpenFile(const char* path)
{
    // Only a regular file reached without a link: a link planted under the
    // name is not followed (the program may run as root), and a FIFO is
    // neither waited on nor written. O_APPEND puts each line's one write at
    // the end of the file as it is then, whoever else appends to it.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                        S_IRUSR | S_IWUSR);
    if (fd < 0) {
        m_failure = FormatText(N_("cannot open trace file %s: %s"), {SafeText(path), std::strerror(errno)});
        return;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        m_failure = FormatText(N_("cannot open trace file %s: %s"), {SafeText(path), N_("not a regular file")});
        return;
    }
    m_file = fd;
}

void CChannelTrace::CloseFile()
{
    close(static_cast<int>(m_file));
}

uint32_t CChannelTrace::WriteLine()
{
    // One write for the whole line, so that lines of sessions sharing the
    // file never interleave. Cut short (a full disk, the file size limit),
    // the rest is offered once more only to learn why.
    size_t done = 0;
    for (int tries = 0; tries < 2 && done < m_line.size(); ++tries) {
        ssize_t n = 0;
        do {
            n = write(static_cast<int>(m_file), m_line.data() + done, m_line.size() - done);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            return static_cast<uint32_t>(errno);
        }
        done += static_cast<size_t>(n);
    }
    return done == m_line.size() ? 0 : ENOSPC;
}

void CChannelTrace::AppendTimestamp()
{
    struct timeval now = {};
    gettimeofday(&now, nullptr);
    struct tm local = {};
    localtime_r(&now.tv_sec, &local);
    char text[48];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    const int more = std::snprintf(text + length, sizeof text - length, ".%03ld ", static_cast<long>(now.tv_usec / 1000));
    m_line.append(text, length + (more > 0 ? static_cast<size_t>(more) : 0));
}
