// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_listing.h"

#include <cstdio>
#include <cstring>
#include <ostream>

#include "device/device_describe.h"
#include "device/enumerate.h"
#include "device/safe_text.h"

namespace {

constexpr int32_t kPathSize = 260;
// The enumeration always ends; this only bounds a broken one.
constexpr int kMostDevices = 1000;

std::string Quoted(const std::string& text)
{
    return text.empty() ? "-" : "\"" + SafeText(text) + "\"";
}

}  // namespace

std::vector<ListedDevice> ListOfferedDevices()
{
    std::vector<ListedDevice> devices;
    char path[kPathSize] = {};
    int32_t index = 0;
    for (int i = 0; i < kMostDevices; ++i) {
        index = EnumerateDevicePath(index, path, kPathSize);
        if (index == -1) {
            break;
        }
        ListedDevice device;
        device.path.assign(path, strnlen(path, sizeof path));
        DescribeOfferedDevice(device);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::string FormatListedDevice(const ListedDevice& device)
{
    // The path comes from the environment or a configuration file, the
    // strings from the device: none of them may start a line of its own.
    std::string line = SafeText(device.path);
    char ids[16];
    if (device.usb && device.found) {
        std::snprintf(ids, sizeof ids, "%04x:%04x", device.vendor, device.product);
        line += std::string("  ") + ids + "  " + Quoted(device.manufacturer) + " " + Quoted(device.productName);
    }
    if (device.mayOpen) {
        return line + "  may open: yes";
    }
    line += "  may open: no (" + SafeLine(device.problem);
    if (device.usb && device.found && device.problem == "permission denied") {
        std::snprintf(ids, sizeof ids, "%04x", device.vendor);
        line += std::string("; install the udev rule 60-zentrix-calculator.rules with vvvv = ") + ids;
        std::snprintf(ids, sizeof ids, "%04x", device.product);
        line += std::string(" and pppp = ") + ids + ", then plug the calculator in again";
    }
    return line + ")";
}

int PrintDeviceList(std::ostream& out)
{
    const std::vector<ListedDevice> devices = ListOfferedDevices();
    for (const ListedDevice& device : devices) {
        out << FormatListedDevice(device) << '\n';
    }
    if (devices.empty()) {
        out << "no calculator found: name its port in ZENTRIX_DEVICES or its USB IDs in ZENTRIX_USB_IDS\n";
    }
    out.flush();
    return 0;
}
