#include "device/channel_trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr uint32_t kChunk = 64;   // bytes formatted per piece of a line

}  // namespace

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
        m_failure = std::string("cannot open trace file ") + path + ": " + std::strerror(errno);
        return;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        m_failure = std::string("cannot open trace file ") + path + ": not a regular file";
        return;
    }
    m_file = fdopen(fd, "a");
    if (m_file == nullptr) {
        m_failure = std::string("cannot open trace file ") + path + ": " + std::strerror(errno);
        close(fd);
    }
}

void CChannelTrace::Stop()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void CChannelTrace::Record(char direction, const uint8_t* bytes, uint32_t length)
{
    if (m_file == nullptr) {
        return;
    }
    PutTimestamp();
    std::fputc(direction, m_file);
    PutHex(bytes, length);
    std::fputs("  ", m_file);
    PutAscii(bytes, length);
    std::fputc('\n', m_file);
    std::fflush(m_file);   // the trace must survive a crash mid-session
}

void CChannelTrace::Note(const char* text)
{
    if (m_file == nullptr) {
        return;
    }
    PutTimestamp();
    std::fprintf(m_file, "# %s\n", text);
    std::fflush(m_file);
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

void CChannelTrace::PutHex(const uint8_t* bytes, uint32_t length)
{
    char text[kChunk * 3];
    for (uint32_t done = 0; done < length; done += kChunk) {
        const uint32_t piece = length - done < kChunk ? length - done : kChunk;
        for (uint32_t i = 0; i < piece; ++i) {
            const uint8_t byte = bytes[done + i];
            text[i * 3] = ' ';
            text[i * 3 + 1] = kHexDigits[byte >> 4];
            text[i * 3 + 2] = kHexDigits[byte & 0x0F];
        }
        std::fwrite(text, 1, piece * 3, m_file);
    }
}

void CChannelTrace::PutAscii(const uint8_t* bytes, uint32_t length)
{
    char text[kChunk];
    for (uint32_t done = 0; done < length; done += kChunk) {
        const uint32_t piece = length - done < kChunk ? length - done : kChunk;
        for (uint32_t i = 0; i < piece; ++i) {
            const uint8_t byte = bytes[done + i];
            text[i] = (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
        }
        std::fwrite(text, 1, piece, m_file);
    }
}
