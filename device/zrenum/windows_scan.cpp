// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows_scan.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>
// clang-format on

#include <algorithm>
#include <utility>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The device-interface classes of COM ports and of USB devices.
DEFINE_GUID(kComPortInterface, 0x86E0D1E0, 0x8089, 0x11D0, 0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73);
DEFINE_GUID(kUsbDeviceInterface, 0xA5DCBF10, 0x6530, 0x11D2, 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED);

struct DeviceInfoSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set)); }
};
using DeviceInfoSet = std::unique_ptr<void, DeviceInfoSetCloser>;

DeviceInfoSet PresentInterfaces(const GUID& interfaceClass)
{
    HDEVINFO set = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    return DeviceInfoSet(set == INVALID_HANDLE_VALUE ? nullptr : set);
}

// Calls `visit(interfaceData, deviceData)` for every interface of the set.
template <typename Visit>
void ForEachInterface(HDEVINFO set, const GUID& interfaceClass, Visit visit)
{
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, i, &interfaceData)) {
            return;
        }
        SP_DEVINFO_DATA deviceData = {};
        deviceData.cbSize = sizeof deviceData;
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            continue;
        }
        std::vector<char> detailBytes(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, needed, nullptr, &deviceData)) {
            visit(std::string(detail->DevicePath), deviceData);
        }
    }
}

// "COMn" from the device's registry key; 0 when it has none.
int ComPortNumber(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return 0;
    }
    char name[32] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ || _strnicmp(name, "COM", 3) != 0) {
        return 0;
    }
    return std::atoi(name + 3);
}

bool ContainsNoCase(const std::string& text, const std::string& part)
{
    auto equal = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), part.begin(), part.end(), equal) != text.end();
}

}  // namespace

std::vector<std::string> ScanComPorts()
{
    std::vector<int> numbers;
    DeviceInfoSet set = PresentInterfaces(kComPortInterface);
    if (set == nullptr) {
        return {};
    }
    ForEachInterface(static_cast<HDEVINFO>(set.get()), kComPortInterface,
                     [&](const std::string&, SP_DEVINFO_DATA& device) {
                         const int number = ComPortNumber(static_cast<HDEVINFO>(set.get()), device);
                         if (number > 0) {
                             numbers.push_back(number);
                         }
                     });
    return ComPortPaths(std::move(numbers));
}

std::vector<std::string> ComPortPaths(std::vector<int> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> ports;
    for (const int number : numbers) {
        ports.push_back("\\\\.\\COM" + std::to_string(number));
    }
    return ports;
}

bool InterfacePathMatches(const std::string& path, const UsbId& id)
{
    char vid[16];
    char pid[16];
    std::snprintf(vid, sizeof vid, "vid_%04x", id.vendor);
    std::snprintf(pid, sizeof pid, "pid_%04x", id.product);
    return ContainsNoCase(path, vid) && ContainsNoCase(path, pid);
}

std::vector<std::string> ScanUsbInterfaces(const std::vector<UsbId>& ids)
{
    std::vector<std::string> paths;
    if (ids.empty()) {
        return paths;
    }
    DeviceInfoSet set = PresentInterfaces(kUsbDeviceInterface);
    if (set == nullptr) {
        return paths;
    }
    ForEachInterface(static_cast<HDEVINFO>(set.get()), kUsbDeviceInterface,
                     [&](const std::string& path, SP_DEVINFO_DATA&) {
                         for (const UsbId& id : ids) {
                             if (InterfacePathMatches(path, id)) {
                                 paths.push_back(path);
                                 return;
                             }
                         }
                     });
    std::sort(paths.begin(), paths.end());
    return paths;
}

namespace {

// A device's registry property as text; empty when it has none.
std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    char text[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - 1, nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return text;
}

}  // namespace

std::vector<WinUsbDevice> ScanWinUsbDevices()
{
    std::vector<WinUsbDevice> devices;
    DeviceInfoSet set = PresentInterfaces(kUsbDeviceInterface);
    if (set == nullptr) {
        return devices;
    }
    auto* raw = static_cast<HDEVINFO>(set.get());
    ForEachInterface(raw, kUsbDeviceInterface, [&](const std::string& path, SP_DEVINFO_DATA& device) {
        if (_stricmp(DeviceProperty(raw, device, SPDRP_SERVICE).c_str(), "WinUSB") != 0) {
            return;
        }
        std::string name = DeviceProperty(raw, device, SPDRP_FRIENDLYNAME);
        devices.push_back({path, name.empty() ? DeviceProperty(raw, device, SPDRP_DEVICEDESC) : name});
    });
    std::sort(devices.begin(), devices.end(),
              [](const WinUsbDevice& a, const WinUsbDevice& b) { return a.path < b.path; });
    return devices;
}
