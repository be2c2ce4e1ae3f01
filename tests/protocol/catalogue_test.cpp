// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/codec.h"

namespace {

std::string Text(const StoredPacket& p)
{
    return std::string(p.text, p.length);
}

std::string Sent(const uint8_t* packet, uint32_t n)
{
    return std::string(reinterpret_cast<const char*>(packet), n);
}

// True when the last two characters are the checksum of everything after the
// type byte.
bool ChecksumHolds(const std::string& packet)
{
    std::string copy = packet;
    WriteChecksum(reinterpret_cast<uint8_t*>(copy.data()) + 1, static_cast<int>(copy.size()) - 3);
    return copy == packet;
}

}  // namespace

TEST(Catalogue, FixedPacketsHaveTheirLengthsChecksumsAndZeroBytes)
{
    const StoredPacket* shortOnes[] = {&PKT_CHECK, &PKT_ACK, &PKT_ACK_03, &PKT_NAK_04, &PKT_CMD_07,
                                       &PKT_ROLESWAP, &PKT_CMD_4F, &PKT_CMD_01, &PKT_TERMINATE,
                                       &PKT_TERMINATE_04};
    for (const StoredPacket* p : shortOnes) {
        EXPECT_EQ(p->length, 6u) << Text(*p);
        EXPECT_TRUE(ChecksumHolds(Text(*p))) << Text(*p);
        EXPECT_EQ(p->text[p->length], '\0');
    }
    EXPECT_EQ(PKT_CMD_54.length, 38u);
    EXPECT_EQ(PKT_CMD_50.length, 38u);
    EXPECT_EQ(PKT_CMD_55.length, 34u);
    for (const StoredPacket* p : {&PKT_CMD_54, &PKT_CMD_50, &PKT_CMD_55}) {
        EXPECT_TRUE(ChecksumHolds(Text(*p))) << Text(*p);
    }
    EXPECT_EQ(PKT_ACK.bytes()[0], Ack);
    EXPECT_EQ(PKT_NAK_04.bytes()[0], Nak);
    EXPECT_EQ(PKT_TERMINATE_04.bytes()[0], Terminate);
    EXPECT_EQ(Text(PKT_CMD_54).substr(0, 8), "\x01" "541001C");
    EXPECT_EQ(Text(PKT_CMD_54).substr(8, 28), Text(PKT_CMD_50).substr(8, 28));
    EXPECT_EQ(TPL_CMD_56.length + 1, kCmd56SendLength);
    EXPECT_EQ(TPL_CMD_57.length + 1, kCmd57SendLength);
    EXPECT_EQ(TPL_CMD_58.length + 1, kCmd58SendLength);
    EXPECT_EQ(TPL_DATA_56.length, 16u);
    EXPECT_EQ(HDR_DATA_55.length, 8u);
}

TEST(Catalogue, StubAnnouncementOfAThreeByteStub)
{
    uint8_t packet[kPacketBufferSize];
    const uint32_t n = FillCmd56(packet, 3);
    ASSERT_EQ(n, 35u);
    EXPECT_EQ(Sent(packet, n), std::string("\x01" "56" "1" "0018" "00000003" "88030000" "88030000" "F2") + '\0');
}

TEST(Catalogue, OsImageAnnouncementAndTailCheck)
{
    uint8_t packet[kPacketBufferSize];
    uint32_t n = FillCmd57(packet, 65539);
    ASSERT_EQ(n, 27u);
    EXPECT_EQ(Sent(packet, n), std::string("\x01" "57" "1" "0010" "00010003" "A0000000" "8D") + '\0');

    n = FillCmd58(packet, 65539, 0xFF63);
    ASSERT_EQ(n, 31u);
    EXPECT_EQ(Sent(packet, n), std::string("\x01" "58" "1" "0014" "00000003" "A0010000" "FF63" "93") + '\0');

    FillCmd58(packet, 65536, 0);
    EXPECT_EQ(Sent(packet + 8, 8), "00000000");
    EXPECT_EQ(Sent(packet + 24, 4), "0000");
    FillCmd58(packet, 65535, 0);
    EXPECT_EQ(Sent(packet + 8, 8), "FFFFFFFF");
    EXPECT_TRUE(ChecksumHolds(Sent(packet, 30)));
}

TEST(Catalogue, DeviceInformationReplyNeedsAckTypeAndSubtype02)
{
    uint8_t reply[kDeviceInfoLength] = {};
    std::memcpy(reply, "\x06" "02", 3);
    EXPECT_TRUE(IsDeviceInfoReply(reply));
    reply[2] = '3';
    EXPECT_FALSE(IsDeviceInfoReply(reply));
    reply[2] = '2';
    reply[0] = Nak;
    EXPECT_FALSE(IsDeviceInfoReply(reply));
    reply[0] = Ack;
    reply[1] = 'x';
    EXPECT_FALSE(IsDeviceInfoReply(reply));
}
