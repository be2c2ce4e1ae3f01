// SPDX-License-Identifier: GPL-3.0-or-later
// What the simulated calculator tells a USB host about itself when it is a
// USB device (zentrix-calc-sim --usb-gadget): the FunctionFS descriptor and
// string blocks written to ep0, and the identity given on the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zsim {

// The pair used unless --usb-id names another: a test pair from the range
// OpenMoko gave away to free projects, never a real calculator's.
constexpr uint16_t kGadgetVendor = 0x1d50;
constexpr uint16_t kGadgetProduct = 0x6018;

struct UsbId {
    uint16_t vendor = kGadgetVendor;
    uint16_t product = kGadgetProduct;
};

// "vvvv:pppp", four hex digits each; nothing when the text is not one.
std::optional<UsbId> ParseUsbId(const std::string& text);

// A serial number the kernel's configfs takes and a host shows: 1 to 126
// printable ASCII characters.
bool ValidUsbSerial(const std::string& text);

// The function's descriptors in FunctionFS's second format: one interface
// (number 0, vendor class 0xff) with a bulk IN endpoint (ep1) and a bulk OUT
// endpoint (ep2), for full speed (64-byte packets) and high speed (512).
std::vector<uint8_t> FunctionFsDescriptors();
// The function's strings: the interface's name, in US English.
std::vector<uint8_t> FunctionFsStrings();

// The interface's name, as a host lists it.
constexpr const char* kGadgetInterfaceName = "Zentrix calculator";

}  // namespace zsim
