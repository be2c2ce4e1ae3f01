// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

// Anything a packet can be read from: the device channel in the program, a
// byte buffer in tests. Read delivers exactly `length` bytes or fails; the
// result is a ChannelStatus (0 for success).
class CPacketReader {
public:
    virtual ~CPacketReader() = default;
    virtual int Read(uint8_t* buffer, uint32_t length, uint32_t& count) = 0;
};
