// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The USB bus as the enumeration library sees it.
#include <functional>

#include "device_lists.h"

struct libusb_device;

// The devices on the bus that `keep` accepts, as "usb:BUS:ADDRESS", ordered
// by bus and address. Empty when libusb cannot be used.
std::vector<std::string> ScanUsbBus(const std::function<bool(libusb_device*)>& keep);

// The devices on the bus that match one of `ids` and that no other program
// holds, as "usb:BUS:ADDRESS", ordered by bus and address. Empty when libusb
// cannot be used.
std::vector<std::string> ScanUsbDevices(const std::vector<UsbId>& ids);
