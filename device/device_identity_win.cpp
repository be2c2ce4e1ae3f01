// SPDX-License-Identifier: GPL-3.0-or-later
// Device identities on Windows: a COM port or device interface has one name.
#include "device/device_identity.h"

std::string DeviceIdentity(const std::string& path)
{
    return "path " + path;
}
