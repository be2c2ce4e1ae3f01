// SPDX-License-Identifier: GPL-3.0-or-later
// Windows keeps no log of refused USB devices that this program reads: a
// device that fails to enumerate shows in Device Manager as an unknown USB
// device, which the program does not search for.
#include "device/usb_refusals.h"

std::optional<std::string> LatestUsbRefusal()
{
    return std::nullopt;
}
