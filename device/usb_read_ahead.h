// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a USB transport reads from a bulk IN endpoint, held until it is
// handed out: whole packets (a device may send up to the endpoint's packet
// size in any packet, and a read that cannot hold a packet fails with an
// overflow), with room for the calculator's longest reply.
#include <cstdint>
#include <memory>

#include "device/transport.h"

// Bytes of the read-ahead buffer for a bulk IN endpoint whose descriptor
// gives `maxPacketSize`.
uint32_t UsbReadSize(uint16_t maxPacketSize);

class CUsbReadAhead {
public:
    // Sizes the buffer for the endpoint (once, when it is found).
    void Allocate(uint16_t maxPacketSize);
    uint32_t Size() const { return m_size; }

    // Bytes are held that nobody has taken yet.
    bool Waiting() const { return m_taken < m_held; }
    // The emptied buffer, for one transfer of Size() bytes; Filled tells how
    // many came (held to the buffer's size).
    uint8_t* Room();
    void Filled(uint32_t count);
    // Up to `capacity` held bytes, in order.
    TransportRead HandOut(uint8_t* buffer, uint32_t capacity);

private:
    // m_taken <= m_held <= m_size.
    std::unique_ptr<uint8_t[]> m_buf;
    uint32_t m_size = 0;
    uint32_t m_held = 0;
    uint32_t m_taken = 0;
};
