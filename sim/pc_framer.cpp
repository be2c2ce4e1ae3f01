// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pc_framer.h"

#include <algorithm>
#include <cstring>

#include "sim/wire.h"

namespace zsim {

size_t PcFramer::Append(const uint8_t* data, size_t n) {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const size_t take = std::min(n, buffer_.size() - end_);
    std::memcpy(buffer_.data() + end_, data, take);
    end_ += take;
    return take;
}

// Length of the stretch up to the next byte that can start a packet. Bytes
// below 0x20 never occur inside a packet (payloads are escaped), so a type
// byte is a safe place to start again.
size_t PcFramer::ResyncLength() const {
    size_t i = begin_ + 1;
    while (i < end_ && !wire::IsPacketType(buffer_[i])) ++i;
    return i - begin_;
}

bool PcFramer::Garbage(Frame& frame, size_t size, const char* problem) {
    frame = Frame{};
    frame.kind = Kind::Garbage;
    frame.data = buffer_.data() + begin_;
    frame.size = size;
    frame.problem = problem;
    begin_ += size;
    return true;
}

bool PcFramer::Next(Frame& frame, bool quiet) {
    const size_t avail = end_ - begin_;
    if (avail == 0) return false;
    const uint8_t* p = buffer_.data() + begin_;
    if (!wire::IsPacketType(p[0])) {
        const size_t len = ResyncLength();
        if (begin_ + len == end_ && !quiet) return false;   // more garbage may follow
        return Garbage(frame, len, "bytes that are not a packet");
    }
    if (avail < 4 || (avail < 8 && p[3] == '1')) {
        if (!quiet) return false;
        return Garbage(frame, avail, "incomplete packet");
    }
    size_t size = 6;
    bool isTemplate = false;
    if (p[3] == '1') {
        const auto dataSize = wire::ParseHex(p + 4, 4);
        if (!dataSize) return Garbage(frame, ResyncLength(), "data size is not four upper-case hex digits");
        if (*dataSize > wire::kMaxPcDataSize) return Garbage(frame, ResyncLength(), "data size larger than any packet");
        size = *dataSize + 10;
        isTemplate = p[0] == wire::kCommand && p[1] == '5' && (p[2] == '6' || p[2] == '7' || p[2] == '8');
    } else if (p[3] != '0') {
        return Garbage(frame, ResyncLength(), "extension flag is neither 0 nor 1");
    }
    if (avail < size) {
        if (!quiet) return false;
        return Garbage(frame, avail, "incomplete packet");
    }
    frame = Frame{};
    frame.data = p;
    frame.isTemplate = isTemplate;
    if (isTemplate) {
        if (avail == size && !quiet) return false;   // its zero byte may still come
        if (avail > size && p[size] == 0) {
            ++size;
        } else {
            frame.missingZero = true;
        }
    }
    frame.size = size;
    begin_ += size;
    return true;
}

}  // namespace zsim
