// SPDX-License-Identifier: GPL-3.0-or-later
// The devices that could be a calculator, on Windows: the USB devices that
// Windows drives with WinUSB (the calculator's driver, see the README), and
// the COM ports present.
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <utility>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "device/device_describe.h"
#include "device/device_listing.h"
#include "device/usb_location.h"
#include "device/zrenum/windows_scan.h"

namespace {

// The hex number after `key` ("vid_", "pid_") in a device-interface path.
uint16_t IdAfter(const std::string& path, const char* key)
{
    for (size_t at = 0; at + 8 <= path.size(); ++at) {
        if (_strnicmp(path.c_str() + at, key, 4) == 0) {
            return static_cast<uint16_t>(std::strtoul(path.substr(at + 4, 4).c_str(), nullptr, 16));
        }
    }
    return 0;
}

// The COM ports among the system's DOS device names, as "\\.\COMn" ordered
// by number: where SetupAPI does not list a port (a virtual or mapped one)
// its name is still there.
std::vector<std::string> DosComPorts()
{
    std::vector<char> names(64 * 1024);
    const DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    std::vector<int> numbers;
    for (size_t at = 0; at < length && names[at] != '\0'; at += std::strlen(&names[at]) + 1) {
        const char* name = &names[at];
        if (_strnicmp(name, "COM", 3) == 0 && std::isdigit(static_cast<unsigned char>(name[3])) != 0) {
            numbers.push_back(std::atoi(name + 3));
        }
    }
    return ComPortPaths(std::move(numbers));
}

}  // namespace

// The COM ports are offered by the enumeration itself on Windows.
std::vector<std::string> ListSerialPorts(const std::string& /*devRoot*/)
{
    return {};
}

std::vector<ListedDevice> ListCandidateDevices()
{
    std::vector<ListedDevice> devices;
    for (const WinUsbDevice& usb : ScanWinUsbDevices()) {
        ListedDevice device;
        device.path = usb.path;
        DescribeOfferedDevice(device);
        device.found = true;
        device.vendor = IdAfter(usb.path, "vid_");
        device.product = IdAfter(usb.path, "pid_");
        device.productName = usb.name;
        // A label line names it by these; its path changes with the port.
        const UsbLocation where = FindUsbLocation(usb.path);
        device.serialNumber = where.serial;
        device.portChain = where.port;
        devices.push_back(std::move(device));
    }
    std::vector<std::string> ports = ScanComPorts();
    for (std::string& port : DosComPorts()) {
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) {
            ports.push_back(std::move(port));
        }
    }
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return std::atoi(a.c_str() + 7) < std::atoi(b.c_str() + 7);   // after "\\.\COM"
    });
    for (const std::string& port : ports) {
        ListedDevice device;
        device.path = port;
        DescribeOfferedDevice(device);
        devices.push_back(std::move(device));
    }
    return devices;
}
