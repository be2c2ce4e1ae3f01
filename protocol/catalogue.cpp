// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/catalogue.h"

#include <cstring>

#include "protocol/codec.h"

// A packet literal: the type byte as an escape, then the text; the string
// literal's own zero byte is the stored zero byte.
#define ZX_PACKET(name, literal) constinit const StoredPacket name = {literal, sizeof(literal) - 1};

ZX_PACKET(PKT_CHECK, "\x05" "00070")
ZX_PACKET(PKT_ACK, "\x06" "00070")
ZX_PACKET(PKT_ACK_03, "\x06" "0306D")
ZX_PACKET(PKT_NAK_04, "\x15" "0406C")
ZX_PACKET(PKT_CMD_07, "\x01" "07069")
ZX_PACKET(PKT_CMD_54, "\x01" "541001C008000010000000000000400fls090")
ZX_PACKET(PKT_ROLESWAP, "\x03" "00070")
ZX_PACKET(PKT_CMD_55, "\x01" "551001800800001000000000000000013")
ZX_PACKET(PKT_CMD_4F, "\x01" "4F056")
ZX_PACKET(PKT_CMD_50, "\x01" "501001C008000010000000000000400fls094")
ZX_PACKET(PKT_CMD_01, "\x01" "0106F")
ZX_PACKET(PKT_TERMINATE, "\x18" "00070")
ZX_PACKET(PKT_TERMINATE_04, "\x18" "0406C")

ZX_PACKET(TPL_CMD_56, "\x01" "561001800000000880300008803000000")
ZX_PACKET(TPL_CMD_57, "\x01" "571001000000000A000000000")
ZX_PACKET(TPL_CMD_58, "\x01" "581001400000000A0010000000000")

ZX_PACKET(TPL_DATA_56, "\x02" "561000000000000")
ZX_PACKET(TPL_DATA_57, "\x02" "571000000000000")

ZX_PACKET(HDR_DATA_55, "\x02" "5510000")
ZX_PACKET(HDR_DATA_50, "\x02" "5010000")

#undef ZX_PACKET

namespace {

// Copies a command template with its zero byte into the packet buffer.
void CopyTemplate(uint8_t* packet, const StoredPacket& tpl)
{
    std::memcpy(packet, tpl.text, tpl.length + 1);
}

char* Text(uint8_t* packet, int position)
{
    return reinterpret_cast<char*>(packet + position);
}

}  // namespace

uint32_t FillCmd56(uint8_t* packet, uint32_t stubSize)
{
    CopyTemplate(packet, TPL_CMD_56);
    WriteHex32(stubSize, Text(packet, 8));
    WriteChecksum(packet + 1, 31);
    return kCmd56SendLength;
}

uint32_t FillCmd57(uint8_t* packet, uint32_t imageSize)
{
    CopyTemplate(packet, TPL_CMD_57);
    WriteHex32(imageSize, Text(packet, 8));
    WriteChecksum(packet + 1, 23);
    return kCmd57SendLength;
}

uint32_t FillCmd58(uint8_t* packet, uint32_t imageSize, uint16_t imageSum)
{
    CopyTemplate(packet, TPL_CMD_58);
    WriteHex32(imageSize - 0x10000u, Text(packet, 8));
    WriteHex16(imageSum, Text(packet, 24));
    WriteChecksum(packet + 1, 27);
    return kCmd58SendLength;
}

bool IsDeviceInfoReply(const uint8_t* reply)
{
    uint8_t subtype = 0;
    return reply[0] == Ack && ParseHexByte(reinterpret_cast<const char*>(reply + 1), subtype) == 1 &&
           subtype == 0x02;
}
