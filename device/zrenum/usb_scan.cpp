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
        if (Matches(rawList[i], ids)) {
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
