// SPDX-License-Identifier: GPL-3.0-or-later
// What a Windows USB device-interface path tells of its device, read from
// the path alone (so that Linux tests read it too).
#include <algorithm>
#include <cctype>
#include <string_view>

#include "device/usb_location.h"

namespace {

std::string Lowered(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

// The four hex digits after `key` in `id`; empty when they are not there.
std::string HexAfter(const std::string& id, std::string_view key)
{
    const size_t at = id.find(key);
    if (at == std::string::npos || at + key.size() + 4 > id.size()) {
        return {};
    }
    const std::string digits = id.substr(at + key.size(), 4);
    const bool hex = std::all_of(digits.begin(), digits.end(),
                                 [](unsigned char c) { return std::isxdigit(c) != 0; });
    return hex ? digits : std::string();
}

}  // namespace

UsbLocation UsbLocationFromInterfacePath(const std::string& path)
{
    // \\?\usb#vid_1a2b&pid_5e01[&mi_00]#INSTANCE#{interface class}
    const std::string prefix = "\\\\?\\usb#";
    if (path.size() <= prefix.size() || Lowered(path.substr(0, prefix.size())) != prefix) {
        return {};
    }
    const size_t idEnd = path.find('#', prefix.size());
    const size_t instanceEnd = idEnd == std::string::npos ? std::string::npos : path.find('#', idEnd + 1);
    if (instanceEnd == std::string::npos) {
        return {};
    }
    UsbLocation location;
    const std::string id = Lowered(path.substr(prefix.size(), idEnd - prefix.size()));
    const std::string vendor = HexAfter(id, "vid_");
    const std::string product = HexAfter(id, "pid_");
    if (!vendor.empty() && !product.empty()) {
        location.ids = vendor + ":" + product;
    }
    // Windows makes the instance ID of the device's serial number when it
    // has one; an ID it generated itself holds '&' and names no serial.
    const std::string instance = path.substr(idEnd + 1, instanceEnd - idEnd - 1);
    if (!instance.empty() && instance.find('&') == std::string::npos) {
        location.serial = instance;
    }
    return location;
}
