// SPDX-License-Identifier: GPL-3.0-or-later
// The devices that could be a calculator, on Linux: USB devices whose
// descriptors show a calculator-like interface, and the serial ports.
#include <libusb.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "device/device_describe.h"
#include "device/device_listing.h"
#include "device/usb_calculator_check.h"
#include "device/zrenum/usb_scan.h"

namespace {

std::vector<std::string> CandidateUsbPaths()
{
    return ScanUsbBus(IsCalculatorLink);
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
