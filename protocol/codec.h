// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The packet codec: hexadecimal text fields, the checksum, payload escaping,
// and building and receiving data packets. Nothing here allocates memory and
// nothing writes a terminating zero byte.
#include <cstddef>
#include <cstdint>

#include "protocol/packet_reader.h"

// Packet types (the raw first byte of every packet).
enum PacketType : uint8_t {
    Command = 0x01,
    Data = 0x02,
    RoleSwap = 0x03,
    Check = 0x05,
    Ack = 0x06,
    Nak = 0x15,
    Terminate = 0x18,
};

// Buffers of an update run.
constexpr size_t kPacketBufferSize = 4096;
constexpr size_t kReplyBufferSize = 1024;
constexpr size_t kBlockBufferSize = 1024;

// Offsets inside a data packet.
constexpr size_t kDataHeaderLength = 16;      // type, subtype, flag, size, total, block
constexpr size_t kDataPacketOverhead = 18;    // header plus two checksum characters
constexpr uint16_t kMaxReceivedDataSize = kReplyBufferSize - 2;   // 1022
constexpr uint16_t kMinDataSize = 8;          // the two count fields

void HexDigitValue(char c, uint8_t& out);
int ParseHexByte(const char* text, uint8_t& out);
int ParseHex16(const char* text, uint16_t& out);
void HexDigitChar(uint32_t value, char& out);
void WriteHex8(uint8_t value, char* out);
void WriteHex16(uint16_t value, char* out);
void WriteHex32(uint32_t value, char* out);

// Writes the checksum of p[0 .. n-1] at p[n] and p[n+1].
void WriteChecksum(uint8_t* p, int n);

void EscapeBytes(const uint8_t* input, uint16_t length, uint8_t* output, uint16_t& count);
void UnescapeBytes(const uint8_t* input, uint8_t* output, uint16_t length, uint16_t& count);

// A data series: one PrepareDataSeries, then one BuildDataPacket per block.
// `packetTemplate` is a 16-character data-packet template followed by its
// zero byte.
void PrepareDataSeries(uint8_t* packet, const uint8_t* packetTemplate, uint16_t totalCount);
// `packet` must hold kPacketBufferSize bytes and `length` be at most 1024.
// Returns the number of bytes to send.
uint32_t BuildDataPacket(uint8_t* packet, uint16_t blockNumber, const uint8_t* payload,
                         uint16_t length);

// Reads one data packet whose first four bytes must equal those of `header`.
// `reply` holds kReplyBufferSize bytes, `payload` kPacketBufferSize bytes.
// A data size that is not four upper-case hex digits, or lies outside
// 8..1022, is a failed receive.
bool ReceiveDataPacket(CPacketReader& channel, const uint8_t* header, uint8_t* reply,
                       uint8_t* payload);
// The number of payload bytes of the last successful ReceiveDataPacket into
// `payload` is not kept by the codec; callers that need it use this variant.
bool ReceiveDataPacket(CPacketReader& channel, const uint8_t* header, uint8_t* reply,
                       uint8_t* payload, uint16_t& payloadLength);
