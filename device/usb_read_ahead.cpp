// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_read_ahead.h"

#include <algorithm>
#include <cstring>

namespace {

// Room for the calculator's longest packet (a 1022-byte data field with its
// header and checksum) in one read.
constexpr uint32_t kReadAhead = 2048;

}  // namespace

uint32_t UsbReadSize(uint16_t maxPacketSize)
{
    // Bits 0-10 are the size; a descriptor that gives none counts as 64.
    uint32_t packet = maxPacketSize & 0x7ffu;
    if (packet == 0) {
        packet = 64;
    }
    return (std::max(kReadAhead, packet) + packet - 1) / packet * packet;
}

void CUsbReadAhead::Allocate(uint16_t maxPacketSize)
{
    m_size = UsbReadSize(maxPacketSize);
    m_buf = std::make_unique<uint8_t[]>(m_size);
    m_held = 0;
    m_taken = 0;
}

uint8_t* CUsbReadAhead::Room()
{
    m_held = 0;
    m_taken = 0;
    return m_buf.get();
}

void CUsbReadAhead::Filled(uint32_t count)
{
    m_held = std::min(count, m_size);
}

TransportRead CUsbReadAhead::HandOut(uint8_t* buffer, uint32_t capacity)
{
    const uint32_t n = std::min(capacity, m_held - m_taken);
    if (n > 0) {
        std::memcpy(buffer, m_buf.get() + m_taken, n);
    }
    m_taken += n;
    return {TransportRead::Received, n, 0};
}
