// SPDX-License-Identifier: GPL-3.0-or-later
// The calculator's own view of the packet framing: hexadecimal text fields,
// checksum, payload escaping and the fixed packets it sends or expects.
// Kept apart from the updater's protocol code on purpose, so that the two
// sides check each other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zsim::wire {

using Bytes = std::vector<uint8_t>;

// Raw type bytes.
inline constexpr uint8_t kCommand = 0x01;
inline constexpr uint8_t kData = 0x02;
inline constexpr uint8_t kRoleSwap = 0x03;
inline constexpr uint8_t kCheck = 0x05;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kTerminate = 0x18;

bool IsPacketType(uint8_t b);

// Largest data size the updater can send (a 1024-byte block, every byte escaped).
inline constexpr size_t kMaxPcDataSize = 2056;
// Largest data size the updater can take from the calculator.
inline constexpr size_t kMaxCalcDataSize = 1022;
// The calculator's block sizes.
inline constexpr size_t kLargeBlock = 1024;
inline constexpr size_t kSmallBlock = 256;
// Offset of the OS image part that the tail check covers.
inline constexpr size_t kTailStart = 0x10000;
// OS image header: model code and version text.
inline constexpr size_t kImageModelOffset = 0x1001C;
inline constexpr size_t kImageVersionOffset = 0x10020;
inline constexpr size_t kImageVersionLength = 10;
inline constexpr size_t kImageHeaderEnd = kImageVersionOffset + kImageVersionLength;

// Hexadecimal text: upper-case digits only.
std::optional<uint32_t> ParseHex(const uint8_t* text, size_t digits);
void WriteHex(uint32_t value, size_t digits, uint8_t* out);

// Low 8 bits of 0 minus the sum of `n` bytes (the type byte is never included).
uint8_t Checksum(const uint8_t* p, size_t n);

// Escapes a payload: bytes below 0x20 become 0x5C, b + 0x20; 0x5C becomes 0x5C 0x5C.
void AppendEscaped(const uint8_t* payload, size_t n, Bytes& out);

enum class UnescapeError { None, TrailingBackslash, BadEscape };
// Strict unescaping of what the updater sent: a backslash must be followed by
// 0x20..0x3F or 0x5C. Appends to `out`.
UnescapeError AppendUnescaped(const uint8_t* text, size_t n, Bytes& out);

// A packet with flag "0": type, subtype, "0", checksum (6 bytes).
Bytes ShortPacket(uint8_t type, uint8_t subtype);
// A packet with flag "1": type, subtype, "1", data size, data, checksum.
Bytes LongPacket(uint8_t type, uint8_t subtype, std::string_view data);
// A data packet of a series: total count and block number (1-based) and the escaped payload.
Bytes DataPacket(uint8_t subtype, uint16_t total, uint16_t block, const uint8_t* payload, size_t n);

// Fixed packets of the conversation, byte for byte.
const Bytes& Ack();          // 0x06 "00070"
const Bytes& Ack03();        // 0x06 "0306D", after the updater stub's last block
const Bytes& Nak04();        // 0x15 "0406C", the refusal of the probe and the identity request
const Bytes& Reject();       // 0x15 "00070", answer to a packet the calculator does not accept
const Bytes& RoleSwap();     // 0x03 "00070"
const Bytes& CheckPacket();  // 0x05 "00070"
const Bytes& Probe();        // 0x01 "07069", the block-size probe
const Bytes& IdentityRequest();   // 0x01 "54..." (38 bytes)
const Bytes& IdentityCommand55(); // 0x01 "55..." (34 bytes), the calculator's, OS route
const Bytes& IdentityCommand50(); // 0x01 "50..." (38 bytes), the updater stub's
const Bytes& AfterStubRequest();  // 0x01 "4F056"
const Bytes& InfoRequest();       // 0x01 "0106F"
const Bytes& Terminate();         // 0x18 "00070"
const Bytes& Terminate04();       // 0x18 "0406C"

bool Equals(const uint8_t* p, size_t n, const Bytes& packet);

}  // namespace zsim::wire
