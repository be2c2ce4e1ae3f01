// SPDX-License-Identifier: GPL-3.0-or-later
// The devices that could be a calculator, on Linux: USB devices whose
// descriptors show a calculator-like interface, and the serial ports.
#include <libusb.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "device/device_describe.h"
#include "device/device_listing.h"
#include "device/libusb_owners.h"
#include "device/zrenum/usb_scan.h"

namespace {

constexpr uint8_t kVendorSpecificClass = 0xff;


// A vendor-specific interface setting with exactly one bulk IN and one bulk
// OUT endpoint (other endpoints allowed beside them).
bool LooksLikeCalculatorLink(const libusb_interface_descriptor& setting)
{
    if (setting.bInterfaceClass != kVendorSpecificClass) {
        return false;
    }
    int in = 0;
    int out = 0;
    for (uint8_t i = 0; i < setting.bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[i];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
            continue;
        }
        ++((endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0 ? in : out);
    }
    return in == 1 && out == 1;
}

bool IsCandidate(libusb_device* device)
{
    libusb_device_descriptor descriptor = {};
    if (libusb_get_device_descriptor(device, &descriptor) != 0 || descriptor.bDeviceClass == LIBUSB_CLASS_HUB) {
        return false;
    }
    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_active_config_descriptor(device, &raw) != 0 &&
        libusb_get_config_descriptor(device, 0, &raw) != 0) {
        return false;
    }
    LibusbConfig config(raw);
    for (uint8_t i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int j = 0; j < interface.num_altsetting; ++j) {
            if (LooksLikeCalculatorLink(interface.altsetting[j])) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::string> CandidateUsbPaths()
{
    return ScanUsbBus(IsCandidate);
}

}  // namespace

std::vector<ListedDevice> ListCandidateDevices()
{
    std::vector<std::string> paths = CandidateUsbPaths();
    for (std::string& port : ListSerialPorts()) {
        paths.push_back(std::move(port));
    }
    std::vector<ListedDevice> devices;
    for (std::string& path : paths) {
        ListedDevice device;
        device.path = std::move(path);
        DescribeOfferedDevice(device);
        devices.push_back(std::move(device));
    }
    return devices;
}
