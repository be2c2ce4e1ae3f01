// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/fd_transport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr short kHangUpEvents = POLLERR | POLLHUP | POLLNVAL;

bool IsSocket(int fd)
{
    struct stat info = {};
    return fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}

bool MakeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// The error a hang-up reported by poll stands for when no call gave one.
uint32_t HangUpError(short revents)
{
    if (revents & POLLNVAL) {
        return EBADF;
    }
    return (revents & POLLERR) ? EIO : EPIPE;
}

}  // namespace

CFdTransport::CFdTransport(int fd) : m_fd(fd) {}

CFdTransport::~CFdTransport()
{
    if (m_waitingReadFd >= 0) {
        close(m_waitingReadFd);
    }
    if (m_isTerminal) {
        tcsetattr(m_fd, TCSANOW, &m_savedTermios);
        ioctl(m_fd, TIOCNXCL);
    }
    close(m_fd);   // also drops the flock
}

std::unique_ptr<CFdTransport> CFdTransport::OpenPath(const char* path)
{
    // Links are followed (/dev/serial/by-id names are links to the ttys);
    // what they lead to must be a device or a socket. A regular file is
    // never opened for writing, so a wrong path cannot overwrite anything.
    struct stat named = {};
    if (stat(path, &named) != 0) {
        return nullptr;
    }
    if (S_ISSOCK(named.st_mode)) {
        return ConnectSocket(path);
    }
    if (!S_ISCHR(named.st_mode)) {
        errno = ENOTTY;   // a file, a folder or a FIFO: "not a device" to the user
        return nullptr;
    }
    const int fd = open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<CFdTransport> transport(new CFdTransport(fd));
    // The name may have been pointed elsewhere between the look and the open.
    struct stat opened = {};
    if (fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || opened.st_rdev != named.st_rdev ||
        opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
        return nullptr;
    }
    // TIOCEXCL alone does not stop a root process; the lock stops everyone
    // who asks for it, this program's other update runs included.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return nullptr;
    }
    transport->m_isSocket = IsSocket(fd);
    if (isatty(fd) && !transport->MakeRawTerminal()) {
        return nullptr;
    }
    return transport;
}

std::unique_ptr<CFdTransport> CFdTransport::ConnectSocket(const char* path)
{
    struct sockaddr_un address = {};
    const size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path) {
        return nullptr;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path, length + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<CFdTransport> transport(new CFdTransport(fd));
    // A local stream connection is made at once or refused (EAGAIN: the
    // listener's queue is full), never left half-made.
    int result = 0;
    do {
        result = connect(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return nullptr;
    }
    transport->m_isSocket = true;
    return transport;
}

std::unique_ptr<CFdTransport> CFdTransport::Adopt(int fd)
{
    if (fd < 0 || !MakeNonBlocking(fd)) {
        return nullptr;
    }
    std::unique_ptr<CFdTransport> transport(new CFdTransport(fd));
    transport->m_isSocket = IsSocket(fd);
    return transport;
}

bool CFdTransport::MakeRawTerminal()
{
    if (tcgetattr(m_fd, &m_savedTermios) != 0) {
        return false;
    }
    m_isTerminal = true;   // from here on the destructor restores the line
    struct termios raw = m_savedTermios;
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;   // a cable without modem lines still works
    // A blocking read returns once a byte is there or after kWaitingReadMs
    // with none; the descriptor that may not block ignores both.
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = kWaitingReadMs / 100;
    if (tcsetattr(m_fd, TCSANOW, &raw) != 0) {
        return false;
    }
    // The line's second descriptor, opened before it is made exclusive and
    // after CLOCAL (so that the open does not wait for a carrier): it blocks
    // in reads, bounded by the line's timer, and is never written to.
    m_waitingReadFd = open(("/proc/self/fd/" + std::to_string(m_fd)).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    return ioctl(m_fd, TIOCEXCL) == 0;
}

long CFdTransport::WriteOnce(const uint8_t* data, uint32_t length)
{
    // A socket whose peer has gone must report EPIPE, not raise SIGPIPE.
    if (m_isSocket) {
        return send(m_fd, data, length, MSG_NOSIGNAL);
    }
    return write(m_fd, data, length);
}

int CFdTransport::WaitWritable(int waitMs, uint32_t& error)
{
    struct pollfd wait = {m_fd, POLLOUT, 0};
    const int ready = poll(&wait, 1, waitMs < 1 ? 1 : waitMs);
    if (ready < 0) {
        if (errno == EINTR) {
            return 0;   // a signal: the caller asks whether to go on
        }
        error = errno;
        return -1;
    }
    if (ready == 0) {
        return 0;
    }
    if ((wait.revents & POLLOUT) == 0 && (wait.revents & kHangUpEvents) != 0) {
        error = HangUpError(wait.revents);
        return -1;
    }
    return 1;
}

TransportWrite CFdTransport::WriteSome(const uint8_t* data, uint32_t length, int waitMs)
{
    m_emptied = false;
    for (bool waited = false;; waited = true) {
        const long sent = WriteOnce(data, length);
        if (sent > 0) {
            return {TransportWrite::Sent, static_cast<uint32_t>(sent), 0};
        }
        if (sent == 0) {
            return {TransportWrite::Failed, 0, EIO};
        }
        if (errno == EINTR) {
            return {};
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return {TransportWrite::Failed, 0, uint32_t(errno)};
        }
        if (waited) {
            return {};   // writable by poll, yet full again: one wait per slice
        }
        uint32_t error = 0;
        const int ready = WaitWritable(waitMs, error);
        if (ready < 0) {
            return {TransportWrite::Failed, 0, error};
        }
        if (ready == 0) {
            return {};
        }
    }
}

bool CFdTransport::InputWaiting()
{
    struct pollfd look = {m_fd, POLLIN, 0};
    return poll(&look, 1, 0) > 0 && (look.revents & POLLIN) != 0;
}

TransportRead CFdTransport::ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs)
{
    m_emptied = false;
    if (m_waitingReadFd >= 0 && waitMs >= kWaitingReadMs) {
        return WaitingRead(buffer, capacity);
    }
    return PolledRead(buffer, capacity, waitMs < 1 ? 1 : waitMs);
}

TransportRead CFdTransport::PolledRead(uint8_t* buffer, uint32_t capacity, int waitMs)
{
    struct pollfd wait = {m_fd, POLLIN, 0};
    const int ready = poll(&wait, 1, waitMs);
    if (ready < 0) {
        return errno == EINTR ? TransportRead{} : TransportRead{TransportRead::Failed, 0, uint32_t(errno)};
    }
    if (ready == 0) {
        return {};
    }
    // Readable or hung up: the read itself tells data from end; bytes that
    // arrived before a hang-up are still delivered first.
    const ssize_t got = read(m_fd, buffer, capacity);
    if (got > 0) {
        // A terminal or a stream socket hands over all it holds, up to the
        // room given: a short read leaves nothing behind.
        m_emptied = static_cast<uint32_t>(got) < capacity;
        return {TransportRead::Received, static_cast<uint32_t>(got), 0};
    }
    if (got == 0) {
        return {TransportRead::Failed, 0, EPIPE};   // the other end has gone
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return {TransportRead::Failed, 0, uint32_t(errno)};
    }
    if (wait.revents & kHangUpEvents) {
        return {TransportRead::Failed, 0, HangUpError(wait.revents)};
    }
    return {};
}

// On a terminal a wait of a whole timer's length is one read: no poll
// before it. Nothing within the timer and a hang-up both read 0 bytes, and
// a line closing reads an error: only then does a look without waiting tell
// what happened.
TransportRead CFdTransport::WaitingRead(uint8_t* buffer, uint32_t capacity)
{
    const ssize_t got = read(m_waitingReadFd, buffer, capacity);
    if (got > 0) {
        m_emptied = static_cast<uint32_t>(got) < capacity;
        return {TransportRead::Received, static_cast<uint32_t>(got), 0};
    }
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
        return {};
    }
    // The line's state as the descriptor that never blocks sees it, which
    // says a hang-up as the waits through poll do.
    return PolledRead(buffer, capacity, 0);
}
