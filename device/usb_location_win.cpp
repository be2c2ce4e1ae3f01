// SPDX-License-Identifier: GPL-3.0-or-later
// The USB location on Windows: what the device-interface path names (the
// port chain is not read yet: the record says null).
#include "device/device_labels.h"
#include "device/usb_location.h"

UsbLocation FindUsbLocation(const std::string& path, const std::string& /*sysfsRoot*/)
{
    return UsbLocationFromInterfacePath(path);
}

// Windows names no port chain yet and its device-interface paths are listed
// by the enumeration itself: a stable name finds nothing here.
std::string ResolveStableUsbName(const std::string& /*name*/, const std::string& /*sysfsRoot*/)
{
    return {};
}
