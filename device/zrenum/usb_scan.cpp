// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb_scan.h"

#include <fcntl.h>
#include <libusb.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// Interface 0 is claimed by another program: usbfs is the driver bound to
// it. Asked of the device node without claiming anything, so that a look at
// the bus never takes a calculator from a run that is about to claim it. A
// kernel driver bound instead is no such hold (the transport detaches it),
// and a device this user cannot open is offered all the same: opening it
// is what tells the user.
bool HeldElsewhere(libusb_device* device)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    const int fd = open(node, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    usbdevfs_getdriver query = {};
    query.interface = 0;
    const bool held = ioctl(fd, USBDEVFS_GETDRIVER, &query) == 0 &&
                      std::strncmp(query.driver, "usbfs", sizeof query.driver) == 0;
    close(fd);
    return held;
}

}  // namespace

std::vector<std::string> ScanUsbBus(const std::function<bool(libusb_device*)>& keep)
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
        if (keep(rawList[i])) {
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

std::vector<std::string> ScanUsbDevices(const std::vector<UsbId>& ids)
{
    return ScanUsbBus([&ids](libusb_device* device) { return Matches(device, ids) && !HeldElsewhere(device); });
}
