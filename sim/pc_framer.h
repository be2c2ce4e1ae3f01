// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts the updater's byte stream into packets, as the calculator reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zsim {

class PcFramer {
public:
    enum class Kind {
        Packet,    // a whole packet (a command template with its zero byte when it came)
        Garbage,   // bytes that do not form a packet; `problem` says why
    };
    struct Frame {
        Kind kind = Kind::Packet;
        const uint8_t* data = nullptr;   // valid until the next Append
        size_t size = 0;
        bool isTemplate = false;         // a command that is followed by a zero byte
        bool missingZero = false;        // ... and that byte did not come
        const char* problem = "";
    };

    // Takes up to `n` bytes; returns how many it took.
    size_t Append(const uint8_t* data, size_t n);
    // Gives the next frame. With `quiet` (the updater has stopped sending), a
    // command still waiting for its zero byte, or a partial packet, is given
    // out as it stands instead of waiting for more.
    bool Next(Frame& frame, bool quiet = false);
    // Puts the last frame back, to be read again (by the next run).
    void Unread(const Frame& frame) { begin_ -= frame.size; }
    size_t Pending() const { return end_ - begin_; }
    const uint8_t* PendingData() const { return buffer_.data() + begin_; }
    void Clear() { begin_ = end_ = 0; }

private:
    bool Garbage(Frame& frame, size_t size, const char* problem);
    size_t ResyncLength() const;

    std::array<uint8_t, 8192> buffer_{};
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace zsim
