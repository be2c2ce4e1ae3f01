#include "update/image_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>

namespace {

std::string SizeText(uint64_t size)
{
    return std::to_string(size) + (size == 1 ? " byte" : " bytes");
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

// Opens a regular file for reading; -1 with `problem` set otherwise. The
// open never waits (a FIFO or a device under the image's name is refused,
// not waited on).
int OpenImage(const std::string& path, std::string& problem)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        problem = (errno == ENOENT ? "image missing: " : "cannot read image ") + path + " (" +
                  std::strerror(errno) + ")";
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        problem = "image " + path + " is not a regular file";
        return -1;
    }
    return fd;
}

// Refuses an image that cannot be numbered even in 1024-byte blocks.
bool FitsInBlocks(const ImageSnapshot& image, const std::string& path, std::string& problem)
{
    if (BlockCount(image.size, 1024) <= kMaxBlockCount) {
        return true;
    }
    problem = "image " + path + " is too large: " + SizeText(image.size) + ", more than " +
              std::to_string(kMaxBlockCount) + " blocks of 1024 bytes";
    return false;
}

// Copies one image; an image too large to send is refused before it is
// copied, and the copy is measured again (the file may have grown meanwhile).
bool Snapshot(const std::string& path, const std::string& tempDir, ImageSnapshot& image,
              std::string& problem)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        image.size = static_cast<uint64_t>(st.st_size);
        if (!FitsInBlocks(image, path, problem)) {
            return false;
        }
    }
    if (!image.copy.Make(path, tempDir, problem)) {
        return false;
    }
    if (!image.copy.QuerySize(image.size)) {
        problem = "cannot measure the scratch copy of " + path;
        return false;
    }
    return FitsInBlocks(image, path, problem);
}

}  // namespace

std::string ImagePath(const std::string& baseDir, const char* fileName)
{
    return baseDir + fileName;
}

std::string ScratchDirectory(const std::string& configured)
{
    if (!configured.empty()) {
        return configured;
    }
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

int64_t BlockCount(uint64_t size, uint32_t blockSize)
{
    return static_cast<int64_t>((size + blockSize - 1) / blockSize);
}

bool TakeImageSnapshots(const std::string& baseDir, const std::string& tempDir,
                        ImageSnapshots& images, std::string& problem)
{
    const std::string stubPath = ImagePath(baseDir, kStubFileName);
    const std::string osPath = ImagePath(baseDir, kOsImageFileName);
    if (!Snapshot(stubPath, tempDir, images.stub, problem) || !Snapshot(osPath, tempDir, images.os, problem)) {
        return false;
    }
    if (images.os.size < kOsHeaderEnd) {
        problem = "OS image " + osPath + " is too short: " + SizeText(images.os.size) +
                  ", its header ends at byte " + std::to_string(kOsHeaderEnd);
        return false;
    }
    return true;
}

bool CScratchCopy::Make(const std::string& path, const std::string& tempDir, std::string& problem)
{
    Discard();
    const int image = OpenImage(path, problem);
    if (image < 0) {
        return false;
    }
    std::string name = ScratchDirectory(tempDir) + "/qzXXXXXX";
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);   // a new file, mode 0600, never reopened
    if (m_fd < 0) {
        problem = "cannot make a scratch copy in " + ScratchDirectory(tempDir) + " (" + std::strerror(errno) + ")";
        ::close(image);
        return false;
    }
    ::unlink(name.c_str());
    const bool copied = CopyFile(image, m_fd) && Seek(0);
    if (!copied) {
        problem = "cannot copy " + path + " to " + ScratchDirectory(tempDir) + " (" + std::strerror(errno) + ")";
        Discard();
    }
    ::close(image);
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

bool ReadOsImageHeader(ImageSnapshot& os, uint8_t* block, uint32_t byteCount)
{
    return os.copy.Seek(kOsHeaderOffset) && os.copy.ReadExactly(block, byteCount);
}
