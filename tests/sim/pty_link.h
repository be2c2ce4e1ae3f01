// SPDX-License-Identifier: GPL-3.0-or-later
// The updater's end of a pty served by the simulated calculator.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "pc_side.h"

namespace pcside {

class PtyLink : public Link {
public:
    explicit PtyLink(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~PtyLink() override { Close(); }
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool Write(const Bytes& b) {
        size_t done = 0;
        while (done < b.size()) {
            const ssize_t w = ::write(fd_, b.data() + done, b.size() - done);
            if (w <= 0) return false;
            done += static_cast<size_t>(w);
        }
        return true;
    }
    // Reads exactly n bytes; fewer when the link ends or nothing comes for a
    // long while (a safety net against a hanging test, not a measurement).
    Bytes Read(size_t n) {
        Bytes b;
        while (b.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) break;
            uint8_t buf[4096];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - b.size()));
            if (got <= 0) break;
            b.insert(b.end(), buf, buf + got);
        }
        return b;
    }
    // One packet of the calculator, framed by its flag and data size.
    Bytes ReadPacket() {
        Bytes p = Read(4);
        if (p.size() < 4) return p;
        const size_t rest = p[3] == '0' ? 2 : 0;
        if (rest) return Concat(p, Read(rest));
        p = Concat(p, Read(4));
        if (p.size() < 8) return p;
        const size_t size = std::stoul(std::string(p.begin() + 4, p.end()), nullptr, 16);
        return Concat(p, Read(size + 2));
    }
    Bytes Send(const Bytes& packet) override {
        if (!Write(packet)) return {};
        if (packet == Terminate04()) return {};
        Bytes reply = ReadPacket();
        const bool emptyStub = packet == Announce56(0);
        if (reply == Ack03() || emptyStub) reply = Concat(reply, ReadPacket());
        return reply;
    }

private:
    int fd_;
};

}  // namespace pcside
