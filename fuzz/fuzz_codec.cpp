// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary calculator bytes through the packet receiver and the hex readers.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/catalogue.h"
#include "protocol/codec.h"

namespace {

class FuzzReader : public CPacketReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    int Read(uint8_t* buffer, uint32_t length, uint32_t& count) override
    {
        count = 0;
        if (m_size - m_pos < length) {
            return 5;
        }
        std::memcpy(buffer, m_data + m_pos, length);
        m_pos += length;
        count = length;
        return 0;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 4) {
        uint16_t v16 = 0;
        uint8_t v8 = 0;
        ParseHex16(reinterpret_cast<const char*>(data), v16);
        ParseHexByte(reinterpret_cast<const char*>(data), v8);
    }
    // Exactly-sized buffers, so any access outside them is caught.
    static uint8_t* reply = new uint8_t[kReplyBufferSize];
    static uint8_t* payload = new uint8_t[kPacketBufferSize];
    FuzzReader reader(data, size);
    while (ReceiveDataPacket(reader, HDR_DATA_55.bytes(), reply, payload)) {
    }
    return 0;
}
