// SPDX-License-Identifier: GPL-3.0-or-later
// Device identities on Windows: a COM port or device interface has one name.
#include "device/device_identity.h"

#include <windows.h>

std::string DeviceIdentity(const std::string& path)
{
    return "path " + path;
}

bool DevicePresent(const std::string& path)
{
    if (path.rfind("usb:", 0) == 0) {
        return true;   // as the enumeration offers it
    }
    static constexpr char kDevicePrefix[] = "\\\\.\\";
    if (path.rfind(kDevicePrefix, 0) == 0) {
        // A port such as \\.\COM7 is no file: the system's name for it tells.
        char target[512];
        return QueryDosDeviceA(path.c_str() + sizeof kDevicePrefix - 1, target, sizeof target) != 0;
    }
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
