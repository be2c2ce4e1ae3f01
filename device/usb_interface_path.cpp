// SPDX-License-Identifier: GPL-3.0-or-later
// What a Windows USB device-interface path tells of its device, read from
// the path alone (so that Linux tests read it too).
#include <algorithm>
#include <cctype>
#include <cstdio>
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

// The number between `open` and the next ')' at `at` ("USB(" "3)"), or -1.
int NumberIn(const std::string& text, size_t at, std::string_view open)
{
    if (text.compare(at, open.size(), open) != 0) {
        return -1;
    }
    const size_t digits = at + open.size();
    const size_t close = text.find(')', digits);
    if (close == std::string::npos || close == digits || close - digits > 4) {
        return -1;
    }
    int number = 0;
    for (size_t i = digits; i < close; ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
            return -1;
        }
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

// The serial number an instance ID's last part is: Windows makes that part
// of the serial number when the device has one; a part it generated itself
// holds '&' and names no serial.
std::string SerialOfInstance(const std::string& part)
{
    return part.find_first_of("&\\") == std::string::npos ? part : std::string();
}

}  // namespace

std::string UsbSerialFromInstanceId(const std::string& instance)
{
    // USB\VID_1A2B&PID_5E01\ZX-0042: the part after the IDs.
    const size_t ids = instance.find('\\');
    const size_t serial = ids == std::string::npos ? std::string::npos : instance.find('\\', ids + 1);
    if (serial == std::string::npos) {
        return {};
    }
    return SerialOfInstance(instance.substr(serial + 1));
}

std::string UsbPortFromWindowsLocation(const std::string& locationPath, const std::string& locationInformation)
{
    // PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3): the root hub, then the
    // port at each hub on the way.
    const size_t root = locationPath.find("#USBROOT(");
    if (root != std::string::npos) {
        const int hub = NumberIn(locationPath, root + 1, "USBROOT(");
        std::string port;
        for (size_t at = locationPath.find('#', root + 1); hub >= 0 && at != std::string::npos;
             at = locationPath.find('#', at + 1)) {
            const int number = NumberIn(locationPath, at + 1, "USB(");
            if (number < 0) {
                break;   // the device's own interfaces (USBMI) follow its ports
            }
            port += (port.empty() ? "" : ".") + std::to_string(number);
        }
        if (hub >= 0 && !port.empty()) {
            return std::to_string(hub + 1) + "-" + port;
        }
    }
    // Port_#0003.Hub_#0001: only the port on its own hub.
    unsigned port = 0;
    unsigned hub = 0;
    char end = 0;
    if (std::sscanf(locationInformation.c_str(), "Port_#%4u.Hub_#%4u%c", &port, &hub, &end) == 2 && port > 0 &&
        hub > 0) {
        return std::to_string(hub) + "-" + std::to_string(port);
    }
    return {};
}

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
    location.serial = SerialOfInstance(path.substr(idEnd + 1, instanceEnd - idEnd - 1));
    return location;
}
