// SPDX-License-Identifier: GPL-3.0-or-later
// The USB location on Linux: sysfs names each device by its bus and port
// chain ("1-2.3") and holds its bus number, address, IDs and strings.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "device/device_labels.h"
#include "device/device_path.h"
#include "device/usb_location.h"

namespace {

std::string FirstLine(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

UsbIdentity ReadUsbIdentity(const std::string& path, const std::string& sysfsRoot)
{
    UsbIdentity identity;
    uint8_t bus = 0;
    uint8_t address = 0;
    if (!ParseUsbDevicePath(path.c_str(), bus, address)) {
        return identity;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(sysfsRoot, error)) {
        const std::filesystem::path dir = entry.path();
        if (FirstLine(dir / "busnum") == std::to_string(bus) && FirstLine(dir / "devnum") == std::to_string(address)) {
            UsbLocation& location = identity.location;
            location.serial = FirstLine(dir / "serial");
            location.port = dir.filename().string();
            const std::string vendor = FirstLine(dir / "idVendor");
            const std::string product = FirstLine(dir / "idProduct");
            if (!vendor.empty() && !product.empty()) {
                location.ids = vendor + ":" + product;
            }
            identity.manufacturer = FirstLine(dir / "manufacturer");
            identity.product = FirstLine(dir / "product");
            break;
        }
    }
    return identity;
}

UsbLocation FindUsbLocation(const std::string& path, const std::string& sysfsRoot)
{
    return ReadUsbIdentity(path, sysfsRoot).location;
}

std::vector<std::string> ResolveStableUsbNames(const std::string& name, const std::string& sysfsRoot)
{
    if (!IsStableUsbName(name)) {
        return {};
    }
    const bool bySerial = name.rfind(kUsbSerialPrefix, 0) == 0;
    const std::string wanted = name.substr(name.find(':') + 1);
    std::vector<std::pair<std::string, std::string>> found;   // port, path
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(sysfsRoot, error)) {
        const std::filesystem::path dir = entry.path();
        // Interfaces ("1-2:1.0") and root hubs ("usb1") are not devices plugged into a port.
        const std::string sysName = dir.filename().string();
        if (sysName.find(':') != std::string::npos || sysName.rfind("usb", 0) == 0) {
            continue;
        }
        if (bySerial ? FirstLine(dir / "serial") != wanted : sysName != wanted) {
            continue;
        }
        const std::string bus = FirstLine(dir / "busnum");
        const std::string address = FirstLine(dir / "devnum");
        if (!bus.empty() && !address.empty()) {
            found.emplace_back(sysName, "usb:" + bus + ":" + address);
        }
    }
    std::sort(found.begin(), found.end());   // by port, not by the folder's order
    std::vector<std::string> paths;
    for (auto& [port, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}
