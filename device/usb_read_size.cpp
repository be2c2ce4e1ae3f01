// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_read_size.h"

#include <algorithm>

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
