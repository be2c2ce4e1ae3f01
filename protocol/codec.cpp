// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/codec.h"

#include <cstring>

void HexDigitValue(char c, uint8_t& out)
{
    if (c >= '0' && c <= '9') {
        out = static_cast<uint8_t>(c - 0x30);
    } else if (c >= 'A' && c <= 'F') {
        out = static_cast<uint8_t>(c - 0x37);
    } else {
        out = 0xFF;
    }
}

int ParseHexByte(const char* text, uint8_t& out)
{
    uint8_t high = 0;
    uint8_t low = 0;
    HexDigitValue(text[0], high);
    HexDigitValue(text[1], low);
    if (high == 0xFF || low == 0xFF) {
        return -1;
    }
    out = static_cast<uint8_t>(high * 16 + low);
    return 1;
}

int ParseHex16(const char* text, uint16_t& out)
{
    uint8_t high = 0;
    uint8_t low = 0;
    if (ParseHexByte(text, high) != 1 || ParseHexByte(text + 2, low) != 1) {
        return -1;
    }
    out = static_cast<uint16_t>(high * 256 + low);
    return 1;
}

void HexDigitChar(uint32_t value, char& out)
{
    const uint32_t n = value & 0x0F;
    out = static_cast<char>(n < 10 ? 0x30 + n : 0x37 + n);
}

void WriteHex8(uint8_t value, char* out)
{
    HexDigitChar(value >> 4, out[0]);
    HexDigitChar(value, out[1]);
}

void WriteHex16(uint16_t value, char* out)
{
    WriteHex8(static_cast<uint8_t>(value >> 8), out);
    WriteHex8(static_cast<uint8_t>(value), out + 2);
}

void WriteHex32(uint32_t value, char* out)
{
    WriteHex16(static_cast<uint16_t>(value >> 16), out);
    WriteHex16(static_cast<uint16_t>(value), out + 4);
}

void WriteChecksum(uint8_t* p, int n)
{
    uint8_t sum = 0;
    for (int i = 0; i < n; ++i) {
        sum = static_cast<uint8_t>(sum - p[i]);
    }
    WriteHex8(sum, reinterpret_cast<char*>(p + (n > 0 ? n : 0)));
}

namespace {

// For every byte value: the two characters it is sent as (the second unused
// when it passes unchanged), their sum, and how many characters it takes.
struct EscapeEntry {
    uint8_t chars[2];
    uint8_t width;
    uint16_t sum;
};

struct EscapeTable {
    EscapeEntry entry[256];

    constexpr EscapeTable() : entry()
    {
        for (int b = 0; b < 256; ++b) {
            const bool escaped = b < 0x20 || b == 0x5C;
            const int second = b == 0x5C ? 0x5C : (b + 0x20) & 0xFF;
            entry[b].chars[0] = static_cast<uint8_t>(escaped ? 0x5C : b);
            entry[b].chars[1] = static_cast<uint8_t>(second);
            entry[b].width = escaped ? 2 : 1;
            entry[b].sum = static_cast<uint16_t>(escaped ? 0x5C + second : b);
        }
    }
};

constexpr EscapeTable kEscape;

// True when none of the 8 bytes of `w` is below 0x20 or equal to 0x5C.
inline bool AllPlain(uint64_t w)
{
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t highs = 0x8080808080808080ull;
    const uint64_t below20 = (w - ones * 0x20) & ~w & highs;
    const uint64_t x = w ^ (ones * 0x5C);
    const uint64_t backslash = (x - ones) & ~x & highs;
    return (below20 | backslash) == 0;
}

// Sum of the 8 bytes of `w`.
inline uint32_t ByteSum(uint64_t w)
{
    constexpr uint64_t lanes = 0x00FF00FF00FF00FFull;
    const uint64_t pairs = (w & lanes) + ((w >> 8) & lanes);   // four 16-bit sums
    return static_cast<uint32_t>((pairs * 0x0001000100010001ull) >> 48);
}

// Escapes `length` bytes and returns the sum of the characters emitted.
// Each table step writes two characters and advances by one or two, so the
// output needs one byte of room past the escaped form (the packet buffer has
// it: the checksum follows).
uint32_t EscapeAndSum(const uint8_t* input, uint16_t length, uint8_t* output, uint16_t& count)
{
    uint8_t* out = output;
    uint32_t sum = 0;
    uint32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, input + i, 8);
        if (AllPlain(w)) {
            std::memcpy(out, &w, 8);
            out += 8;
            sum += ByteSum(w);
            continue;
        }
        for (uint32_t k = 0; k < 8; ++k) {
            const EscapeEntry& e = kEscape.entry[input[i + k]];
            out[0] = e.chars[0];
            out[1] = e.chars[1];
            out += e.width;
            sum += e.sum;
        }
    }
    for (; i < length; ++i) {
        const EscapeEntry& e = kEscape.entry[input[i]];
        out[0] = e.chars[0];
        out[1] = e.chars[1];
        out += e.width;
        sum += e.sum;
    }
    count = static_cast<uint16_t>(out - output);
    return sum;
}

}  // namespace

void EscapeBytes(const uint8_t* input, uint16_t length, uint8_t* output, uint16_t& count)
{
    // The fast form overwrites one byte past each single character; keep the
    // caller's buffer exact by escaping byte by byte here.
    uint8_t* out = output;
    for (uint16_t i = 0; i < length; ++i) {
        const uint8_t b = input[i];
        if (b < 0x20 || b == 0x5C) {
            out[0] = 0x5C;
            out[1] = b == 0x5C ? 0x5C : static_cast<uint8_t>(b + 0x20);
            out += 2;
        } else {
            *out++ = b;
        }
    }
    count = static_cast<uint16_t>(out - output);
}

void UnescapeBytes(const uint8_t* input, uint8_t* output, uint16_t length, uint16_t& count)
{
    count = 0;
    uint32_t consumed = 0;
    while (consumed < length) {
        uint8_t c = input[consumed++];
        if (c == 0x5C) {
            const uint8_t d = input[consumed++];
            c = d == 0x5C ? 0x5C : static_cast<uint8_t>(d - 0x20);
        }
        output[count++] = c;
    }
}

void PrepareDataSeries(uint8_t* packet, const uint8_t* packetTemplate, uint16_t totalCount)
{
    std::memcpy(packet, packetTemplate, kDataHeaderLength + 1);
    WriteHex16(totalCount, reinterpret_cast<char*>(packet + 8));
}

uint32_t BuildDataPacket(uint8_t* packet, uint16_t blockNumber, const uint8_t* payload,
                         uint16_t length)
{
    // The payload is escaped straight behind the header; its characters are
    // summed on the way, so the checksum needs only the 15 header characters.
    uint16_t escaped = 0;
    const uint32_t payloadSum = EscapeAndSum(payload, length, packet + kDataHeaderLength, escaped);
    WriteHex16(static_cast<uint16_t>(escaped + 8), reinterpret_cast<char*>(packet + 4));
    WriteHex16(blockNumber, reinterpret_cast<char*>(packet + 12));
    uint32_t sum = payloadSum;
    for (size_t i = 1; i < kDataHeaderLength; ++i) {
        sum += packet[i];
    }
    WriteHex8(static_cast<uint8_t>(0u - sum), reinterpret_cast<char*>(packet + kDataHeaderLength + escaped));
    return escaped + kDataPacketOverhead;
}

bool ReceiveDataPacket(CPacketReader& channel, const uint8_t* header, uint8_t* reply,
                       uint8_t* payload, uint16_t& payloadLength)
{
    uint32_t count = 0;
    if (channel.Read(reply, 8, count) != 0) {
        return false;
    }
    if (std::memcmp(reply, header, 4) != 0) {
        return false;
    }
    uint16_t size = 0;
    if (ParseHex16(reinterpret_cast<const char*>(reply + 4), size) != 1 || size < kMinDataSize ||
        size > kMaxReceivedDataSize) {
        return false;
    }
    if (channel.Read(reply, size + 2u, count) != 0) {
        return false;
    }
    // A backslash in the last counted position takes the first checksum
    // character as its pair, which still lies inside the bytes just read.
    UnescapeBytes(reply + 8, payload, static_cast<uint16_t>(size - 8), payloadLength);
    return true;
}

bool ReceiveDataPacket(CPacketReader& channel, const uint8_t* header, uint8_t* reply,
                       uint8_t* payload)
{
    uint16_t payloadLength = 0;
    return ReceiveDataPacket(channel, header, reply, payload, payloadLength);
}
