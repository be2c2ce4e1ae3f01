// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Owners of what libusb hands out: each gives its object back to libusb when
// it goes, on every path.
#include <libusb.h>

#include <memory>

struct LibusbContextFree {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
struct LibusbDeviceListFree {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
struct LibusbConfigFree {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

using LibusbContext = std::unique_ptr<libusb_context, LibusbContextFree>;
using LibusbDeviceList = std::unique_ptr<libusb_device*, LibusbDeviceListFree>;
using LibusbConfig = std::unique_ptr<libusb_config_descriptor, LibusbConfigFree>;
