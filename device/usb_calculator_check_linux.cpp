// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_calculator_check.h"

#include <libusb.h>

#include <cstdio>

#include "device/device_path.h"
#include "device/libusb_owners.h"

namespace {

constexpr uint8_t kVendorSpecificClass = 0xff;

// The configuration in use, else the first: a device not configured yet
// still tells what it would be.
LibusbConfig ConfigOf(libusb_device* device)
{
    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_active_config_descriptor(device, &raw) != 0 && libusb_get_config_descriptor(device, 0, &raw) != 0) {
        raw = nullptr;
    }
    return LibusbConfig(raw);
}

const libusb_interface_descriptor* FirstInterface(const libusb_config_descriptor* config)
{
    if (config == nullptr || config->bNumInterfaces < 1 || config->interface[0].num_altsetting < 1) {
        return nullptr;
    }
    return &config->interface[0].altsetting[0];
}

// The person's word for a USB class code.
Message ClassWord(uint8_t code)
{
    switch (code) {
    case LIBUSB_CLASS_AUDIO: return Message(N_("an audio device"));
    case LIBUSB_CLASS_COMM:
    case LIBUSB_CLASS_DATA: return Message(N_("a modem or network adapter"));
    case LIBUSB_CLASS_HID: return Message(N_("a keyboard, mouse or other input device"));
    case LIBUSB_CLASS_PRINTER: return Message(N_("a printer"));
    case LIBUSB_CLASS_IMAGE:
    case LIBUSB_CLASS_VIDEO: return Message(N_("a camera or scanner"));
    case LIBUSB_CLASS_MASS_STORAGE: return Message(N_("a storage device"));
    case LIBUSB_CLASS_HUB: return Message(N_("a USB hub"));
    case kVendorSpecificClass: return Message(N_("a vendor-specific device without a calculator's pair of bulk endpoints"));
    default: return Message(N_("a device of another kind"));
    }
}

}  // namespace

bool IsCalculatorLink(libusb_device* device)
{
    libusb_device_descriptor descriptor = {};
    if (libusb_get_device_descriptor(device, &descriptor) != 0 || descriptor.bDeviceClass == LIBUSB_CLASS_HUB) {
        return false;
    }
    const LibusbConfig config = ConfigOf(device);
    const libusb_interface_descriptor* setting = FirstInterface(config.get());
    if (setting == nullptr || setting->bInterfaceClass != kVendorSpecificClass) {
        return false;
    }
    int in = 0;
    int out = 0;
    for (uint8_t i = 0; i < setting->bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = setting->endpoint[i];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK) {
            ++((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0 ? in : out);
        }
    }
    return in == 1 && out == 1;
}

Message WhatUsbDeviceIs(libusb_device* device)
{
    libusb_device_descriptor descriptor = {};
    if (libusb_get_device_descriptor(device, &descriptor) == 0 && descriptor.bDeviceClass == LIBUSB_CLASS_HUB) {
        return Message(N_("%s (device class %s)"), {ClassWord(LIBUSB_CLASS_HUB), std::string("09")});
    }
    const LibusbConfig config = ConfigOf(device);
    const libusb_interface_descriptor* setting = FirstInterface(config.get());
    if (setting == nullptr) {
        return Message(N_("a device without interfaces"));
    }
    char code[4];
    std::snprintf(code, sizeof code, "%02x", setting->bInterfaceClass);
    return Message(N_("%s (interface class %s)"), {ClassWord(setting->bInterfaceClass), std::string(code)});
}

Message WhatUsbDeviceIsAt(const std::string& path)
{
    uint8_t bus = 0;
    uint8_t address = 0;
    libusb_context* raw = nullptr;
    if (!ParseUsbDevicePath(path.c_str(), bus, address) || libusb_init(&raw) != 0) {
        return Message(N_("a device of another kind"));
    }
    const LibusbContext context(raw);
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(raw, &list);
    const LibusbDeviceList owned(count < 0 ? nullptr : list);
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) == bus && libusb_get_device_address(list[i]) == address) {
            return WhatUsbDeviceIs(list[i]);
        }
    }
    return Message(N_("a device of another kind"));
}
