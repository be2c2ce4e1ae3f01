#include "update/image_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>

std::string g_strBaseDir;

namespace {

std::string TempDirectory()
{
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

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
ssize_t ReadFull(int fd, uint8_t* buffer, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd, buffer + done, length - done);
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

// Opens a regular file for reading; -1 otherwise. Non-blocking, so that a
// FIFO (or a device) under an image's name is refused instead of waited on.
int OpenImage(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string ImagePath(const char* fileName)
{
    return g_strBaseDir + fileName;
}

int64_t BlockCount(uint64_t size, uint32_t blockSize)
{
    return static_cast<int64_t>((size + blockSize - 1) / blockSize);
}

bool ImageFilesUsable()
{
    const int stub = OpenImage(ImagePath(kStubFileName));
    const int image = OpenImage(ImagePath(kOsImageFileName));
    struct stat st {};
    const bool usable = stub >= 0 && image >= 0 && ::fstat(image, &st) == 0 &&
                        static_cast<uint64_t>(st.st_size) >= kOsHeaderEnd;
    for (const int fd : {stub, image}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return usable;
}

bool CScratchCopy::Make(const char* fileName)
{
    Discard();
    const int image = OpenImage(ImagePath(fileName));
    if (image < 0) {
        return false;
    }
    std::string name = TempDirectory() + "/qzXXXXXX";
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);   // a new file, mode 0600, never reopened
    if (m_fd >= 0) {
        ::unlink(name.c_str());
    }
    const bool copied = m_fd >= 0 && CopyFile(image, m_fd) && Seek(0);
    ::close(image);
    if (!copied) {
        Discard();
    }
    return copied;
}

bool CScratchCopy::QuerySize(uint64_t& size) const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        return false;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool CScratchCopy::Seek(uint64_t offset)
{
    m_aheadPos = 0;
    m_aheadLength = 0;
    return m_fd >= 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool CScratchCopy::ReadExactly(uint8_t* buffer, uint32_t length)
{
    if (m_fd < 0) {
        return false;
    }
    if (!m_ahead) {
        m_ahead = std::make_unique<uint8_t[]>(kReadAhead);
    }
    while (length > 0) {
        if (m_aheadPos == m_aheadLength) {
            const ssize_t n = ReadFull(m_fd, m_ahead.get(), kReadAhead);
            if (n <= 0) {
                return false;
            }
            m_aheadPos = 0;
            m_aheadLength = static_cast<uint32_t>(n);
        }
        const uint32_t take = std::min(length, m_aheadLength - m_aheadPos);
        std::memcpy(buffer, m_ahead.get() + m_aheadPos, take);
        m_aheadPos += take;
        buffer += take;
        length -= take;
    }
    return true;
}

void CScratchCopy::Discard()
{
    m_aheadPos = 0;
    m_aheadLength = 0;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool ReadOsImageHeader(uint8_t* block, uint32_t byteCount)
{
    CScratchCopy copy;
    return copy.Make(kOsImageFileName) && copy.Seek(kOsHeaderOffset) &&
           copy.ReadExactly(block, byteCount);
}
