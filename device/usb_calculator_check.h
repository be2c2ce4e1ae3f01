// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one test of whether a USB device is a calculator, made from its
// descriptors before anything is claimed, detached or sent: its interface 0
// (the one an update run claims) is vendor-specific and has exactly one
// bulk IN and one bulk OUT endpoint. A storage device, a keyboard, a hub, a
// camera never passes, whatever IDs or name it was found by.
#include <string>

#include "i18n/message.h"

struct libusb_device;

// Whether `device` is a calculator by that test.
bool IsCalculatorLink(libusb_device* device);

// What `device`, which failed that test, is, for the person: "a storage
// device (interface class 08)".
Message WhatUsbDeviceIs(libusb_device* device);

// The same for the device at "usb:BUS:ADDRESS", found afresh; a generic
// text when it is gone.
Message WhatUsbDeviceIsAt(const std::string& path);
