// SPDX-License-Identifier: GPL-3.0-or-later
// The packets whose content the calculator makes up itself: its identity
// stream and its device-information reply.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zsim {

// Payload of identity packet `index` (0-based). Packet 3 begins with the model
// code; `modelPacketLength` (-1: the normal size) sets its length.
std::vector<uint8_t> IdentityPayload(int index, const std::array<uint8_t, 4>& modelCode, int modelPacketLength);

// The 174-byte answer to the information request: Ack type, subtype "02",
// the OS version text (padded or cut to 10 characters) at offset 104.
std::vector<uint8_t> DeviceInfoReply(const std::string& osVersion);

inline constexpr size_t kDeviceInfoLength = 174;
inline constexpr size_t kDeviceInfoVersionOffset = 104;

}  // namespace zsim
