// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device paths that name a USB device directly: "usb:BUS:ADDRESS", both
// numbers decimal (the form our enumeration library hands out).
#include <cstdint>

// True when the path starts with "usb:", so it is meant for libusb (even if
// the rest of it is malformed).
bool IsUsbDevicePath(const char* path);

// Reads "usb:BUS:ADDRESS": digits only, each number 0..255, nothing else
// around them. False, with the outputs untouched, for anything else.
bool ParseUsbDevicePath(const char* path, uint8_t& bus, uint8_t& address);
