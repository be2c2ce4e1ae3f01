// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A device reached through a file descriptor: serial line, pty or socket.
// Opened exclusively; a terminal is switched to raw mode for the session and
// given back as it was found.
#include <termios.h>

#include <memory>

#include "device/transport.h"

class CFdTransport : public CTransport {
public:
    // Opens `path` (links followed) when it names a character device:
    // read/write, non-blocking, exclusively (flock, and TIOCEXCL as well on a
    // terminal); connects to it when it names a local stream socket. Anything
    // else (regular file, FIFO, directory) is refused without being opened
    // for writing. Null on failure.
    static std::unique_ptr<CFdTransport> OpenPath(const char* path);
    // Takes over an already open descriptor (a socket of a socket pair, for
    // instance) and makes it non-blocking. Null when `fd` is not valid.
    static std::unique_ptr<CFdTransport> Adopt(int fd);

    ~CFdTransport() override;
    CFdTransport(const CFdTransport&) = delete;
    CFdTransport& operator=(const CFdTransport&) = delete;

    TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) override;
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override;
    bool InputWaiting() override;
    bool EmptiedByLastRead() const override { return m_emptied; }

private:
    explicit CFdTransport(int fd);
    static std::unique_ptr<CFdTransport> ConnectSocket(const char* path);
    bool MakeRawTerminal();
    // 1 when the device takes bytes, 0 when it did not within `waitMs`, -1
    // with `error` set when it failed or hung up.
    int WaitWritable(int waitMs, uint32_t& error);
    long WriteOnce(const uint8_t* data, uint32_t length);
    TransportRead WaitingRead(uint8_t* buffer, uint32_t capacity);
    // Waits up to `waitMs` (0: only looks) for the line to be readable, then
    // reads what it holds without blocking.
    TransportRead PolledRead(uint8_t* buffer, uint32_t capacity, int waitMs);

    // A terminal's reads that may wait this long (a multiple of 100 ms, the
    // line's timer unit) go through m_waitingReadFd.
    static constexpr int kWaitingReadMs = 100;

    int m_fd;
    int m_waitingReadFd = -1;       // a terminal's blocking descriptor for reads; -1: none
    bool m_isSocket = false;
    bool m_isTerminal = false;      // raw mode and TIOCEXCL applied, undone on close
    bool m_emptied = false;         // the last read came back short, and no write since
    struct termios m_savedTermios = {};
};
