// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every packet the updater sends or expects, byte for byte, under its name.
#include <cstdint>

// A stored packet: `length` bytes of packet followed in storage by one zero
// byte. Fixed packets are written with `length` bytes; command templates are
// written with their zero byte (`length` + 1).
struct StoredPacket {
    const char* text;
    uint32_t length;

    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(text); }
};

// Fixed packets.
extern const StoredPacket PKT_CHECK;
extern const StoredPacket PKT_ACK;
extern const StoredPacket PKT_ACK_03;
extern const StoredPacket PKT_NAK_04;
extern const StoredPacket PKT_CMD_07;
extern const StoredPacket PKT_CMD_54;
extern const StoredPacket PKT_ROLESWAP;
extern const StoredPacket PKT_CMD_55;
extern const StoredPacket PKT_CMD_4F;
extern const StoredPacket PKT_CMD_50;
extern const StoredPacket PKT_CMD_01;
extern const StoredPacket PKT_TERMINATE;
extern const StoredPacket PKT_TERMINATE_04;

// Command templates (their fields are filled in the packet buffer).
extern const StoredPacket TPL_CMD_56;
extern const StoredPacket TPL_CMD_57;
extern const StoredPacket TPL_CMD_58;

// Data-packet templates (16 characters, copied with their zero byte).
extern const StoredPacket TPL_DATA_56;
extern const StoredPacket TPL_DATA_57;

// Expected headers of the calculator's data packets (first 4 bytes compared).
extern const StoredPacket HDR_DATA_55;
extern const StoredPacket HDR_DATA_50;

// Bytes written for each command template, zero byte included.
constexpr uint32_t kCmd56SendLength = 35;
constexpr uint32_t kCmd57SendLength = 27;
constexpr uint32_t kCmd58SendLength = 31;

// The command templates filled in `packet` (at least kCmd56SendLength bytes).
// Each returns the number of bytes to write.
uint32_t FillCmd56(uint8_t* packet, uint32_t stubSize);
uint32_t FillCmd57(uint8_t* packet, uint32_t imageSize);
// `imageSize` - 0x10000 is computed modulo 2^32.
uint32_t FillCmd58(uint8_t* packet, uint32_t imageSize, uint16_t imageSum);

// The calculator's device-information reply (the answer to PKT_CMD_01).
constexpr uint32_t kDeviceInfoLength = 174;
constexpr uint32_t kDeviceInfoVersionOffset = 104;
// True when byte 0 is the Ack type and the subtype reads "02".
bool IsDeviceInfoReply(const uint8_t* reply);
