// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/device_name.h"

#include "i18n/text_format.h"

std::string FriendlyDeviceName(const std::string& path, const UsbLocation& usb)
{
    if (!usb.port.empty() && !usb.serial.empty()) {
        return FormatText(N_("USB port %1$s, serial %2$s"), {usb.port, usb.serial});
    }
    if (!usb.port.empty()) {
        return FormatText(N_("USB port %s"), {usb.port});
    }
    if (!usb.serial.empty()) {
        return FormatText(N_("USB calculator, serial %s"), {usb.serial});
    }
    return path;
}
