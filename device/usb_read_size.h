// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much a USB transport reads from a bulk IN endpoint at once: whole
// packets (a device may send up to the endpoint's packet size in any packet,
// and a read that cannot hold a packet fails with an overflow), and room for
// the calculator's longest reply.
#include <cstdint>

// Bytes of the read-ahead buffer for a bulk IN endpoint whose descriptor
// gives `maxPacketSize`.
uint32_t UsbReadSize(uint16_t maxPacketSize);
