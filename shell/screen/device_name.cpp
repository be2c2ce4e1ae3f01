// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/device_name.h"

#include <string_view>

#include "i18n/message.h"

Message FriendlyDeviceName(const std::string& path, const UsbLocation& usb)
{
    if (!usb.label.empty()) {
        return Message::Raw(usb.label);   // made fit to be shown when it was read
    }
    if (!usb.port.empty() && !usb.serial.empty()) {
        return Message(N_("USB port %1$s, serial %2$s"), {usb.port, usb.serial});
    }
    if (!usb.port.empty()) {
        return Message(N_("USB port %s"), {usb.port});
    }
    if (!usb.serial.empty()) {
        return Message(N_("USB calculator, serial %s"), {usb.serial});
    }
    // A COM port by the name Device Manager shows ("COM3", not "\\.\COM3").
    constexpr std::string_view kDosDevices = "\\\\.\\";
    if (path.rfind(kDosDevices, 0) == 0) {
        return Message::Raw(path.substr(kDosDevices.size()));
    }
    return Message::Raw(path);
}
