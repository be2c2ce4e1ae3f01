// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/wire.h"

#include <cstring>

namespace zsim::wire {
namespace {

Bytes Literal(uint8_t type, std::string_view text) {
    Bytes b;
    b.reserve(text.size() + 1);
    b.push_back(type);
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

int DigitValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool IsPacketType(uint8_t b) {
    switch (b) {
        case kCommand: case kData: case kRoleSwap: case kCheck:
        case kAck: case kNak: case kTerminate:
            return true;
        default:
            return false;
    }
}

std::optional<uint32_t> ParseHex(const uint8_t* text, size_t digits) {
    uint32_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int d = DigitValue(text[i]);
        if (d < 0) return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    return value;
}

void WriteHex(uint32_t value, size_t digits, uint8_t* out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < digits; ++i) {
        out[digits - 1 - i] = static_cast<uint8_t>(kDigits[value & 0x0F]);
        value >>= 4;
    }
}

uint8_t Checksum(const uint8_t* p, size_t n) {
    uint8_t acc = 0;
    for (size_t i = 0; i < n; ++i) acc = static_cast<uint8_t>(acc - p[i]);
    return acc;
}

void AppendEscaped(const uint8_t* payload, size_t n, Bytes& out) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = payload[i];
        if (b < 0x20) {
            out.push_back(0x5C);
            out.push_back(static_cast<uint8_t>(b + 0x20));
        } else if (b == 0x5C) {
            out.push_back(0x5C);
            out.push_back(0x5C);
        } else {
            out.push_back(b);
        }
    }
}

UnescapeError AppendUnescaped(const uint8_t* text, size_t n, Bytes& out) {
    for (size_t i = 0; i < n; ++i) {
        if (text[i] != 0x5C) {
            out.push_back(text[i]);
            continue;
        }
        if (i + 1 == n) return UnescapeError::TrailingBackslash;
        const uint8_t d = text[++i];
        if (d == 0x5C) {
            out.push_back(0x5C);
        } else if (d >= 0x20 && d <= 0x3F) {
            out.push_back(static_cast<uint8_t>(d - 0x20));
        } else {
            return UnescapeError::BadEscape;
        }
    }
    return UnescapeError::None;
}

Bytes ShortPacket(uint8_t type, uint8_t subtype) {
    Bytes b(6);
    b[0] = type;
    WriteHex(subtype, 2, &b[1]);
    b[3] = '0';
    WriteHex(Checksum(&b[1], 3), 2, &b[4]);
    return b;
}

Bytes LongPacket(uint8_t type, uint8_t subtype, std::string_view data) {
    Bytes b(8);
    b[0] = type;
    WriteHex(subtype, 2, &b[1]);
    b[3] = '1';
    WriteHex(static_cast<uint32_t>(data.size()), 4, &b[4]);
    b.insert(b.end(), data.begin(), data.end());
    b.resize(b.size() + 2);
    WriteHex(Checksum(&b[1], b.size() - 3), 2, &b[b.size() - 2]);
    return b;
}

Bytes DataPacket(uint8_t subtype, uint16_t total, uint16_t block, const uint8_t* payload, size_t n) {
    Bytes b(16);
    b.reserve(18 + 2 * n);
    b[0] = kData;
    WriteHex(subtype, 2, &b[1]);
    b[3] = '1';
    WriteHex(total, 4, &b[8]);
    WriteHex(block, 4, &b[12]);
    AppendEscaped(payload, n, b);
    WriteHex(static_cast<uint32_t>(b.size() - 8), 4, &b[4]);
    b.resize(b.size() + 2);
    WriteHex(Checksum(&b[1], b.size() - 3), 2, &b[b.size() - 2]);
    return b;
}

// The fixed packets are written out literally (not computed) so that a
// mistake in the checksum or hex writers above cannot hide in them.
const Bytes& Ack() { static const Bytes p = Literal(kAck, "00070"); return p; }
const Bytes& Ack03() { static const Bytes p = Literal(kAck, "0306D"); return p; }
const Bytes& Nak04() { static const Bytes p = Literal(kNak, "0406C"); return p; }
const Bytes& Reject() { static const Bytes p = Literal(kNak, "00070"); return p; }
const Bytes& RoleSwap() { static const Bytes p = Literal(kRoleSwap, "00070"); return p; }
const Bytes& CheckPacket() { static const Bytes p = Literal(kCheck, "00070"); return p; }
const Bytes& Probe() { static const Bytes p = Literal(kCommand, "07069"); return p; }
const Bytes& IdentityRequest() {
    static const Bytes p = Literal(kCommand, "541001C008000010000000000000400fls090");
    return p;
}
const Bytes& IdentityCommand55() {
    static const Bytes p = Literal(kCommand, "551001800800001000000000000000013");
    return p;
}
const Bytes& IdentityCommand50() {
    static const Bytes p = Literal(kCommand, "501001C008000010000000000000400fls094");
    return p;
}
const Bytes& AfterStubRequest() { static const Bytes p = Literal(kCommand, "4F056"); return p; }
const Bytes& InfoRequest() { static const Bytes p = Literal(kCommand, "0106F"); return p; }
const Bytes& Terminate() { static const Bytes p = Literal(kTerminate, "00070"); return p; }
const Bytes& Terminate04() { static const Bytes p = Literal(kTerminate, "0406C"); return p; }

bool Equals(const uint8_t* p, size_t n, const Bytes& packet) {
    return n == packet.size() && std::memcmp(p, packet.data(), n) == 0;
}

}  // namespace zsim::wire
