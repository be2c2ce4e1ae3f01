// SPDX-License-Identifier: GPL-3.0-or-later
// The USB location on Windows: the present USB devices as SetupAPI lists
// them, each with its device-interface path (what the WinUSB transport
// opens), the serial number its instance ID holds and the port its location
// path names.
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
// clang-format on

#include <memory>
#include <vector>

#include "device/device_labels.h"
#include "device/usb_location.h"

namespace {

// The device-interface class of USB devices (GUID_DEVINTERFACE_USB_DEVICE).
DEFINE_GUID(kUsbDevices, 0xA5DCBF10, 0x6530, 0x11D2, 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED);

struct InfoSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set)); }
};

// A registry property of the device: its text, or the first of its texts.
std::string Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    char text[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - 2, nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    return text;
}

// Calls `visit(path, location)` for each present USB device until it says
// it has what it wanted.
template <typename Visit>
void ForEachUsbDevice(Visit visit)
{
    HDEVINFO set = SetupDiGetClassDevsA(&kUsbDevices, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::unique_ptr<void, InfoSetCloser> owned(set);
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA entry = {};
        entry.cbSize = sizeof entry;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDevices, i, &entry)) {
            return;
        }
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &entry, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            continue;
        }
        std::vector<char> bytes(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(bytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailA(set, &entry, detail, needed, nullptr, &device)) {
            continue;
        }
        UsbLocation location = UsbLocationFromInterfacePath(detail->DevicePath);
        char instance[512] = {};
        if (SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance, nullptr)) {
            location.serial = UsbSerialFromInstanceId(instance);
        }
        location.port = UsbPortFromWindowsLocation(Property(set, device, SPDRP_LOCATION_PATHS),
                                                   Property(set, device, SPDRP_LOCATION_INFORMATION));
        if (visit(std::string(detail->DevicePath), location)) {
            return;
        }
    }
}

}  // namespace

UsbLocation FindUsbLocation(const std::string& path, const std::string& /*sysfsRoot*/)
{
    UsbLocation found = UsbLocationFromInterfacePath(path);
    if (found.ids.empty()) {
        return found;   // no USB device-interface path
    }
    ForEachUsbDevice([&](const std::string& listed, const UsbLocation& location) {
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, listed.c_str(), -1, path.c_str(), -1) != CSTR_EQUAL) {
            return false;
        }
        found.serial = location.serial.empty() ? found.serial : location.serial;
        found.port = location.port;
        return true;
    });
    return found;
}

std::vector<std::string> ResolveStableUsbNames(const std::string& name, const std::string& /*sysfsRoot*/)
{
    if (!IsStableUsbName(name)) {
        return {};
    }
    const bool bySerial = name.rfind(kUsbSerialPrefix, 0) == 0;
    const std::string wanted = name.substr(name.find(':') + 1);
    std::vector<std::string> paths;
    ForEachUsbDevice([&](const std::string& listed, const UsbLocation& location) {
        if ((bySerial ? location.serial : location.port) == wanted) {
            paths.push_back(listed);
        }
        return false;   // every device that answers to the name
    });
    return paths;
}
