// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_path.h"

#include <cstring>

namespace {

constexpr char kUsbPrefix[] = "usb:";

// Reads a decimal number of 1 to 3 digits up to 255 at `text`; advances it.
bool ReadByteNumber(const char*& text, uint8_t& value)
{
    unsigned number = 0;
    int digits = 0;
    while (*text >= '0' && *text <= '9') {
        if (++digits > 3) {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(*text - '0');
        ++text;
    }
    if (digits == 0 || number > 255) {
        return false;
    }
    value = static_cast<uint8_t>(number);
    return true;
}

}  // namespace

bool IsUsbDevicePath(const char* path)
{
    return path != nullptr && std::strncmp(path, kUsbPrefix, sizeof kUsbPrefix - 1) == 0;
}

bool ParseUsbDevicePath(const char* path, uint8_t& bus, uint8_t& address)
{
    if (!IsUsbDevicePath(path)) {
        return false;
    }
    const char* text = path + sizeof kUsbPrefix - 1;
    uint8_t busRead = 0;
    uint8_t addressRead = 0;
    if (!ReadByteNumber(text, busRead) || *text++ != ':' || !ReadByteNumber(text, addressRead) ||
        *text != '\0') {
        return false;
    }
    bus = busRead;
    address = addressRead;
    return true;
}
