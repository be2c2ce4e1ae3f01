// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/replies.h"

#include <algorithm>

#include "sim/wire.h"

namespace zsim {
namespace {
constexpr int kNormalIdentityPayload = 48;
constexpr int kModelPacket = 3;
}  // namespace

std::vector<uint8_t> IdentityPayload(int index, const std::array<uint8_t, 4>& modelCode, int modelPacketLength) {
    int length = kNormalIdentityPayload;
    if (index == kModelPacket && modelPacketLength >= 0) length = modelPacketLength;
    std::vector<uint8_t> payload(static_cast<size_t>(length));
    // Filler that walks through every byte value, escapable ones included.
    for (int j = 0; j < length; ++j) payload[static_cast<size_t>(j)] = static_cast<uint8_t>(index * 13 + j * 7);
    if (index == kModelPacket) std::copy_n(modelCode.begin(), std::min(length, 4), payload.begin());
    return payload;
}

std::vector<uint8_t> DeviceInfoReply(const std::string& osVersion) {
    // 164 data characters: a plain information text with the version at data
    // position 96 (packet offset 104).
    std::string data(164, '0');
    const std::string label = "ZENTRIX-CALC";
    std::copy(label.begin(), label.end(), data.begin());
    std::string version = osVersion.substr(0, 10);
    version.resize(10, ' ');
    std::copy(version.begin(), version.end(), data.begin() + (kDeviceInfoVersionOffset - 8));
    return wire::LongPacket(wire::kAck, 0x02, data);
}

}  // namespace zsim
