// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb_scan.h"

#include <libusb.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

struct ContextDeleter {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};

bool Matches(libusb_device* device, const std::vector<UsbId>& ids)
{
    libusb_device_descriptor descriptor = {};
    if (libusb_get_device_descriptor(device, &descriptor) != 0) {
        return false;
    }
    return std::any_of(ids.begin(), ids.end(), [&](const UsbId& id) {
        return id.vendor == descriptor.idVendor && id.product == descriptor.idProduct;
    });
}

// Interface 0 is claimed by another program: the device opens, the claim is
// refused. A bound kernel driver is no such hold (the transport detaches it),
// and a device this user cannot open is offered all the same: opening it is
// what tells the user.
bool HeldElsewhere(libusb_device* device)
{
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0) {
        return false;
    }
    bool held = false;
    if (libusb_kernel_driver_active(handle, 0) == 0) {
        const int claimed = libusb_claim_interface(handle, 0);
        held = claimed == LIBUSB_ERROR_BUSY;
        if (claimed == 0) {
            libusb_release_interface(handle, 0);
        }
    }
    libusb_close(handle);
    return held;
}

}  // namespace

std::vector<std::string> ScanUsbDevices(const std::vector<UsbId>& ids)
{
    libusb_context* rawContext = nullptr;
    if (libusb_init(&rawContext) != 0) {
        return {};
    }
    std::unique_ptr<libusb_context, ContextDeleter> context(rawContext);
    libusb_device** rawList = nullptr;
    const ssize_t count = libusb_get_device_list(rawContext, &rawList);
    if (count < 0) {
        return {};
    }
    std::unique_ptr<libusb_device*, DeviceListDeleter> list(rawList);
    std::vector<std::pair<uint8_t, uint8_t>> found;
    for (ssize_t i = 0; i < count; ++i) {
        if (Matches(rawList[i], ids) && !HeldElsewhere(rawList[i])) {
            found.emplace_back(libusb_get_bus_number(rawList[i]), libusb_get_device_address(rawList[i]));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (const auto& [bus, address] : found) {
        paths.push_back(FormatUsbPath(bus, address));
    }
    return paths;
}
