// SPDX-License-Identifier: GPL-3.0-or-later
// The USB location on Windows: what the device-interface path names (the
// port chain is not read yet: the record says null).
#include "device/usb_location.h"

UsbLocation FindUsbLocation(const std::string& path, const std::string& /*sysfsRoot*/)
{
    return UsbLocationFromInterfacePath(path);
}
