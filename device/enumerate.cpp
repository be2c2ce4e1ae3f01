// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/enumerate.h"

#include <cstdlib>

#include "device/device_source.h"
#include "device/safe_text.h"
#include "device/zrenum/zrenum.h"

int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    const int result = ZrEnumUsbA(index, buffer, size);
    return result < 0 ? -1 : result;
}

int32_t CSystemDeviceSource::EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    return ::EnumerateDevicePath(index, buffer, size);
}

std::string CSystemDeviceSource::Describe() const
{
    const char* devices = std::getenv("ZENTRIX_DEVICES");
    const char* ids = std::getenv("ZENTRIX_USB_IDS");
    const bool haveDevices = devices != nullptr && *devices != '\0';
    const bool haveIds = ids != nullptr && *ids != '\0';
    if (!haveDevices && !haveIds) {
        return "neither ZENTRIX_DEVICES nor ZENTRIX_USB_IDS is set: name the serial port in "
               "ZENTRIX_DEVICES or the calculator's USB IDs in ZENTRIX_USB_IDS (see zentrix-update --help)";
    }
    std::string searched = "searched";
    if (haveDevices) {
        searched += " ZENTRIX_DEVICES=" + SafeText(devices);
    }
    if (haveIds) {
        searched += std::string(haveDevices ? " and" : "") + " USB devices with ZENTRIX_USB_IDS=" + SafeText(ids);
    }
    return searched + "; check that the calculator is connected and in its receive mode";
}
