// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch copies on Linux: an unnamed-at-once file in TMPDIR (else /tmp),
// read through the descriptor that made it.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "update/image_files.h"

#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

bool WriteAll(int fd, const uint8_t* data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Reads up to `length` bytes, retrying short reads; returns the count or -1.
// From `offset` when it is 0 or more (the descriptor's position stays as
// it is), else from the descriptor's position.
ssize_t ReadFull(int fd, uint8_t* buffer, size_t length, int64_t offset = -1)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = offset < 0 ? ::read(fd, buffer + done, length - done)
                                     : ::pread(fd, buffer + done, length - done, static_cast<off_t>(offset) +
                                                                                    static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool CopyFile(int from, int to)
{
    uint8_t chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ReadFull(from, chunk, sizeof chunk);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!WriteAll(to, chunk, static_cast<size_t>(n))) {
            return false;
        }
    }
}

// Opens a regular file for reading; -1 with `problem` set otherwise. The
// open never waits (a FIFO or a device under the image's name is refused,
// not waited on).
int OpenImage(const std::string& path, Message& problem)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        problem = Message(errno == ENOENT ? N_("image missing: %s (%s)") : N_("cannot read image %s (%s)"),
                             {path, std::string(std::strerror(errno))});
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        problem = Message(N_("image %s is not a regular file"), {path});
        return -1;
    }
    return fd;
}

}  // namespace

bool ReadImageFileAt(const std::string& path, uint64_t offset, uint8_t* buffer, uint32_t length)
{
    Message problem;
    const int fd = OpenImage(path, problem);
    if (fd < 0) {
        return false;
    }
    uint32_t got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, buffer + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<uint32_t>(n);
    }
    ::close(fd);
    return got == length;
}

std::string ScratchDirectory(const std::string& configured)
{
    if (!configured.empty()) {
        return configured;
    }
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

bool CScratchCopy::Make(const std::string& path, const std::string& tempDir, Message& problem)
{
    Discard();
    const int image = OpenImage(path, problem);
    if (image < 0) {
        return false;
    }
    std::string name = ScratchDirectory(tempDir) + "/qzXXXXXX";
    m_file = ::mkostemp(name.data(), O_CLOEXEC);   // a new file, mode 0600, never reopened
    if (m_file < 0) {
        problem = Message(N_("cannot make a scratch copy in %s (%s)"),
                             {ScratchDirectory(tempDir), std::string(std::strerror(errno))});
        ::close(image);
        return false;
    }
    ::unlink(name.c_str());
    m_owner = true;
    const bool copied = CopyFile(image, static_cast<int>(m_file)) && Seek(0);
    if (!copied) {
        problem = Message(N_("cannot copy %s to %s (%s)"), {path, ScratchDirectory(tempDir), std::string(std::strerror(errno))});
        Discard();
    }
    ::close(image);
    return copied;
}

bool CScratchCopy::QuerySize(uint64_t& size) const
{
    struct stat st {};
    if (m_file == kNoFile || ::fstat(static_cast<int>(m_file), &st) != 0) {
        return false;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

int64_t CScratchCopy::ReadChunk(uint8_t* buffer, uint32_t length)
{
    return ReadFull(static_cast<int>(m_file), buffer, length, static_cast<int64_t>(m_offset));
}

void CScratchCopy::CloseFile()
{
    ::close(static_cast<int>(m_file));
}


bool QueryImageFileState(const std::string& path, ImageFileState& state)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    state.size = static_cast<uint64_t>(st.st_size);
    state.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    state.device = static_cast<uint64_t>(st.st_dev);
    state.file = static_cast<uint64_t>(st.st_ino);
    return true;
}

int64_t FileClockNowNs()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}
