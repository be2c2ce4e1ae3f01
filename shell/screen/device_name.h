// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The name a person knows a calculator by: the label the user gave it, else
// a USB one by the port it is plugged into and its serial number, a serial
// one by its port's name. The device path stays for the record and the
// tooltip.
#include <string>

#include "i18n/message.h"

#include "device/usb_location.h"

// English; a window translates it. `usb` is where the system says a USB
// calculator sits (empty parts where it does not say).
Message FriendlyDeviceName(const std::string& path, const UsbLocation& usb);
