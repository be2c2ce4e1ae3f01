// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "protocol/catalogue.h"

namespace {

std::string AsText(const uint8_t* p, size_t n)
{
    return std::string(reinterpret_cast<const char*>(p), n);
}

std::string Checksum(const std::string& text)
{
    std::vector<uint8_t> buf(text.begin(), text.end());
    buf.resize(buf.size() + 2);
    WriteChecksum(buf.data(), static_cast<int>(text.size()));
    return AsText(buf.data() + text.size(), 2);
}

// Serves bytes from memory, like a channel whose calculator sent them.
class BufferReader : public CPacketReader {
public:
    explicit BufferReader(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    int Read(uint8_t* buffer, uint32_t length, uint32_t& count) override
    {
        count = 0;
        if (m_bytes.size() - m_pos < length) {
            return 5;
        }
        std::memcpy(buffer, m_bytes.data() + m_pos, length);
        m_pos += length;
        count = length;
        return 0;
    }
    size_t Consumed() const { return m_pos; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
};

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

TEST(HexText, ParsersAcceptOnlyUpperCaseDigitsAndLeaveOutputAloneOnFailure)
{
    uint16_t v16 = 0xBEEF;
    EXPECT_EQ(ParseHex16("001c", v16), -1);
    EXPECT_EQ(v16, 0xBEEF);
    EXPECT_EQ(ParseHex16("001C", v16), 1);
    EXPECT_EQ(v16, 28);
    EXPECT_EQ(ParseHex16("FFFF", v16), 1);
    EXPECT_EQ(v16, 0xFFFF);
    EXPECT_EQ(ParseHex16("12G4", v16), -1);
    EXPECT_EQ(ParseHex16(" 123", v16), -1);
    EXPECT_EQ(v16, 0xFFFF);

    uint8_t v8 = 0x55;
    EXPECT_EQ(ParseHexByte("a0", v8), -1);
    EXPECT_EQ(ParseHexByte("0:", v8), -1);   // ':' follows '9'
    EXPECT_EQ(ParseHexByte("@0", v8), -1);   // '@' precedes 'A'
    EXPECT_EQ(v8, 0x55);
    EXPECT_EQ(ParseHexByte("9F", v8), 1);
    EXPECT_EQ(v8, 0x9F);

    uint8_t d = 0;
    HexDigitValue('g', d);
    EXPECT_EQ(d, 0xFF);
    HexDigitValue('F', d);
    EXPECT_EQ(d, 15);
}

TEST(HexText, WritersProduceUpperCaseMostSignificantFirst)
{
    char out[9] = {};
    WriteHex32(65536, out);
    EXPECT_EQ(std::string(out, 8), "00010000");
    WriteHex32(0xDEADBEEF, out);
    EXPECT_EQ(std::string(out, 8), "DEADBEEF");
    WriteHex16(static_cast<uint16_t>(0x12345678u), out);   // only the low 16 bits
    EXPECT_EQ(std::string(out, 4), "5678");
    WriteHex8(0x0A, out);
    EXPECT_EQ(std::string(out, 2), "0A");
    char c = 0;
    HexDigitChar(0x1F, c);   // only the low nibble counts
    EXPECT_EQ(c, 'F');
}

TEST(Checksum, KnownValuesAndEmptyInput)
{
    EXPECT_EQ(Checksum("000"), "70");
    EXPECT_EQ(Checksum("030"), "6D");
    EXPECT_EQ(Checksum("4F0"), "56");
    EXPECT_EQ(Checksum(""), "00");
    uint8_t buf[4] = {'X', 'X', 'X', 'X'};
    WriteChecksum(buf, -3);   // a negative length sums nothing and writes at p[0]
    EXPECT_EQ(AsText(buf, 2), "00");
}

TEST(Escaping, ControlBytesAndBackslashAreEscapedEverythingElsePasses)
{
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) {
        all[i] = static_cast<uint8_t>(i);
    }
    std::vector<uint8_t> out(512);
    uint16_t n = 0;
    EscapeBytes(all.data(), 256, out.data(), n);
    EXPECT_EQ(n, 256 + 33);   // 32 control bytes and the backslash take two characters
    EXPECT_EQ(out[0], 0x5C);
    EXPECT_EQ(out[1], 0x20);
    EXPECT_EQ(out[62], 0x5C);
    EXPECT_EQ(out[63], 0x3F);   // 0x1F
    EXPECT_EQ(out[64], 0x20);   // 0x20 passes
    // 0x5C sits at input 0x5C, output 0x5C + 32.
    EXPECT_EQ(out[0x5C + 32], 0x5C);
    EXPECT_EQ(out[0x5C + 33], 0x5C);
    EXPECT_EQ(out[n - 1], 0xFF);

    std::vector<uint8_t> back(512);
    uint16_t m = 0;
    UnescapeBytes(out.data(), back.data(), n, m);
    ASSERT_EQ(m, 256);
    EXPECT_TRUE(std::equal(all.begin(), all.end(), back.begin()));

    EscapeBytes(all.data(), 0, out.data(), n);
    EXPECT_EQ(n, 0);
}

TEST(Escaping, UnescapePairsAndZeroLength)
{
    const uint8_t pairs[] = {0x5C, 0x5C, 0x5C, 0x20, 0x5C, 0x41};
    uint8_t out[8] = {};
    uint16_t n = 99;
    UnescapeBytes(pairs, out, 6, n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(out[0], 0x5C);
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(out[2], 0x21);
    UnescapeBytes(pairs, out, 0, n);
    EXPECT_EQ(n, 0);
    // A backslash in the last counted position takes the next character with it.
    const uint8_t tail[] = {'A', 0x5C, 0x30};
    UnescapeBytes(tail, out, 2, n);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(out[1], 0x10);
}

TEST(DataPacket, ThreeBytePayloadGivesTheKnown23BytePacket)
{
    uint8_t packet[kPacketBufferSize];
    PrepareDataSeries(packet, TPL_DATA_56.bytes(), 2);
    const uint8_t payload[] = {0x01, 0x41, 0x5C};
    const uint32_t n = BuildDataPacket(packet, 1, payload, 3);
    ASSERT_EQ(n, 23u);
    std::string expected = "\x02" "561000D00020001";
    expected += "\x5C\x21\x41\x5C\x5C";
    expected += "97";
    EXPECT_EQ(AsText(packet, n), expected);
}

TEST(DataPacket, LargestAndEmptyPayloads)
{
    uint8_t packet[kPacketBufferSize];
    std::memset(packet, 0xEE, sizeof packet);
    PrepareDataSeries(packet, TPL_DATA_57.bytes(), 1);
    const std::vector<uint8_t> zeros(1024, 0);
    uint32_t n = BuildDataPacket(packet, 1, zeros.data(), 1024);
    EXPECT_EQ(n, 2066u);
    EXPECT_EQ(AsText(packet + 4, 4), "0808");
    EXPECT_EQ(packet[2066], 0xEE);   // nothing written past the packet

    n = BuildDataPacket(packet, 7, zeros.data(), 0);
    EXPECT_EQ(n, 18u);
    EXPECT_EQ(AsText(packet, 16), "\x02" "57100080001" "0007");
    EXPECT_EQ(AsText(packet + 16, 2), Checksum(AsText(packet + 1, 15)));
}

TEST(DataPacket, HeaderStaysBetweenBlocks)
{
    uint8_t packet[kPacketBufferSize];
    PrepareDataSeries(packet, TPL_DATA_57.bytes(), 0x41);
    const uint8_t big[] = {'a', 'b', 'c', 'd', 'e'};
    BuildDataPacket(packet, 1, big, 5);
    const uint8_t small[] = {0x00, 0x5C, 0x41};
    const uint32_t n = BuildDataPacket(packet, 0x41, small, 3);
    std::string expected = "\x02" "571000D00410041";
    expected += "\x5C\x20\x5C\x5C\x41";
    expected += "90";
    EXPECT_EQ(AsText(packet, n), expected);
}

TEST(ReceiveDataPacket, RoundTripsRandomPayloadsOfEverySize)
{
    std::mt19937 rng(1234);
    uint8_t packet[kPacketBufferSize];
    uint8_t reply[kReplyBufferSize];
    uint8_t payload[kPacketBufferSize];
    PrepareDataSeries(packet, TPL_DATA_56.bytes(), 3);
    for (int size = 0; size <= 1024; ++size) {
        std::vector<uint8_t> data(size);
        for (auto& b : data) {
            b = static_cast<uint8_t>(rng());
        }
        const uint32_t n = BuildDataPacket(packet, 2, data.data(), static_cast<uint16_t>(size));
        BufferReader reader(std::vector<uint8_t>(packet, packet + n));
        uint16_t got = 0;
        const bool fits = n - 8 <= kReplyBufferSize;   // data size + 2 must fit the reply buffer
        ASSERT_EQ(ReceiveDataPacket(reader, packet, reply, payload, got), fits) << size;
        if (fits) {
            ASSERT_EQ(got, size);
            ASSERT_TRUE(std::equal(data.begin(), data.end(), payload)) << size;
            EXPECT_EQ(reader.Consumed(), n);
        }
    }
}

TEST(ReceiveDataPacket, ComparesOnlyTypeSubtypeAndFlag)
{
    uint8_t reply[kReplyBufferSize];
    uint8_t payload[kPacketBufferSize];
    BufferReader any(Bytes("\x02" "5510008" "0100000111"));
    EXPECT_TRUE(ReceiveDataPacket(any, HDR_DATA_55.bytes(), reply, payload));
    BufferReader wrongFlag(Bytes("\x02" "5500008" "0100000111"));
    EXPECT_FALSE(ReceiveDataPacket(wrongFlag, HDR_DATA_55.bytes(), reply, payload));
    BufferReader wrongSubtype(Bytes("\x02" "5510008" "0100000111"));
    EXPECT_FALSE(ReceiveDataPacket(wrongSubtype, HDR_DATA_50.bytes(), reply, payload));
    BufferReader shortRead(Bytes("\x02" "551"));
    EXPECT_FALSE(ReceiveDataPacket(shortRead, HDR_DATA_55.bytes(), reply, payload));
}

TEST(ReceiveDataPacket, RejectsEveryBadDataSizeWithoutReadingFurther)
{
    uint8_t payload[kPacketBufferSize];
    const char* bad[] = {"0007", "0000", "03FF", "FFFF", "0400", "03fe", "00 8", "-008", "000G"};
    for (const char* size : bad) {
        std::vector<uint8_t> bytes = Bytes(std::string("\x02" "551") + size);
        bytes.resize(bytes.size() + 2000, 'A');
        BufferReader reader(bytes);
        uint8_t reply[kReplyBufferSize + 16];
        std::memset(reply, 0xCC, sizeof reply);
        EXPECT_FALSE(ReceiveDataPacket(reader, HDR_DATA_55.bytes(), reply, payload)) << size;
        EXPECT_EQ(reader.Consumed(), 8u) << size;
    }
    // The limits themselves are accepted: 8 (empty payload) and 1022.
    for (const char* size : {"0008", "03FE"}) {
        std::vector<uint8_t> bytes = Bytes(std::string("\x02" "551") + size);
        bytes.resize(bytes.size() + 1100, 'A');
        BufferReader reader(bytes);
        uint8_t reply[kReplyBufferSize];
        EXPECT_TRUE(ReceiveDataPacket(reader, HDR_DATA_55.bytes(), reply, payload)) << size;
    }
}

TEST(DataPacket, AgreesWithPlainEscapingAndChecksumForDenseAndSparseEscapes)
{
    // Every byte value in every position of the 8-byte words the builder
    // takes at a time, with payload lengths that end mid-word.
    std::mt19937 rng(99);
    uint8_t packet[kPacketBufferSize];
    PrepareDataSeries(packet, TPL_DATA_57.bytes(), 9);
    for (int round = 0; round < 600; ++round) {
        const uint16_t length = static_cast<uint16_t>(rng() % 1025);
        std::vector<uint8_t> payload(length);
        for (auto& b : payload) {
            const uint32_t r = rng();
            b = static_cast<uint8_t>(round % 3 == 0 ? r : (r % 4 == 0 ? (r >> 8) % 0x21 + 0x3C : 0x41 + r % 20));
        }
        const uint32_t n = BuildDataPacket(packet, static_cast<uint16_t>(round), payload.data(), length);

        std::vector<uint8_t> escaped(2 * length + 1);
        uint16_t e = 0;
        EscapeBytes(payload.data(), length, escaped.data(), e);
        ASSERT_EQ(n, e + 18u);
        ASSERT_TRUE(std::equal(escaped.begin(), escaped.begin() + e, packet + 16)) << round;
        std::vector<uint8_t> copy(packet, packet + n);
        WriteChecksum(copy.data() + 1, static_cast<int>(n) - 3);
        ASSERT_EQ(AsText(copy.data() + n - 2, 2), AsText(packet + n - 2, 2)) << round;
    }
}
