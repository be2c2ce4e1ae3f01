// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pseudo-terminal whose master side plays the calculator, and a few
// helpers to drive it from tests.
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "device/usb_channel.h"

class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        struct termios raw = {};
        cfmakeraw(&raw);
        if (openpty(&m_master, &m_slave, name, &raw, nullptr) == 0) {
            m_slavePath = name;
        }
    }
    ~PtyPair()
    {
        CloseMaster();
        if (m_slave >= 0) {
            close(m_slave);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return !m_slavePath.empty(); }
    const char* SlavePath() const { return m_slavePath.c_str(); }
    int SlaveFd() const { return m_slave; }
    void CloseMaster()
    {
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }

    // Writes from the calculator's side and waits until the bytes are all
    // readable on the device side, so that one device read gets them all.
    bool Send(const std::string& bytes)
    {
        int queued = 0;
        ioctl(m_slave, FIONREAD, &queued);
        if (write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            return false;
        }
        const int wanted = queued + static_cast<int>(bytes.size());
        for (int tries = 0; tries < 2000 && queued < wanted; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ioctl(m_slave, FIONREAD, &queued);
        }
        return queued >= wanted;
    }

    // Reads `length` bytes that the channel wrote (gives up after ~5 s of silence).
    std::string Receive(size_t length)
    {
        std::string got;
        char chunk[4096];
        while (got.size() < length) {
            struct pollfd wait = {m_master, POLLIN, 0};
            if (poll(&wait, 1, 5000) <= 0) {
                break;
            }
            const ssize_t n = read(m_master, chunk, std::min(sizeof chunk, length - got.size()));
            if (n <= 0) {
                break;
            }
            got.append(chunk, static_cast<size_t>(n));
        }
        return got;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// A channel for tests: no pause on Close, and a safety limit so that a fault
// fails a test instead of hanging it.
inline void PrepareForTest(CUsbChannel& channel)
{
    channel.m_closePauseMs = 0;
    channel.m_overallTimeoutMs = 10000;
}

inline const uint8_t* Bytes(const std::string& text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}
