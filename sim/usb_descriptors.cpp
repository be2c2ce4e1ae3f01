// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/usb_descriptors.h"

#include <cstring>

namespace zsim {
namespace {

// FunctionFS's magic numbers and flags (linux/usb/functionfs.h); written out
// here so that the blocks can be built and checked on any system.
constexpr uint32_t kDescriptorsMagicV2 = 3;
constexpr uint32_t kStringsMagic = 2;
constexpr uint32_t kHasFullSpeed = 1;
constexpr uint32_t kHasHighSpeed = 2;
constexpr uint8_t kInterfaceType = 4;
constexpr uint8_t kEndpointType = 5;
constexpr uint8_t kVendorClass = 0xff;
constexpr uint8_t kBulk = 2;
constexpr uint8_t kIn = 0x80;
constexpr uint16_t kEnglishUs = 0x0409;

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void SetLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void PutInterfaceAndEndpoints(std::vector<uint8_t>& out, uint16_t maxPacket) {
    // bLength, bDescriptorType, bInterfaceNumber, bAlternateSetting,
    // bNumEndpoints, bInterfaceClass, bInterfaceSubClass, bInterfaceProtocol,
    // iInterface (the first of the function's strings).
    out.insert(out.end(), {9, kInterfaceType, 0, 0, 2, kVendorClass, 0, 0, 1});
    for (const uint8_t address : {static_cast<uint8_t>(1 | kIn), static_cast<uint8_t>(2)}) {
        // bLength, bDescriptorType, bEndpointAddress, bmAttributes,
        // wMaxPacketSize, bInterval.
        out.insert(out.end(), {7, kEndpointType, address, kBulk});
        PutLe16(out, maxPacket);
        out.push_back(0);
    }
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

std::optional<UsbId> ParseUsbId(const std::string& text) {
    if (text.size() != 9 || text[4] != ':') return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && !IsHex(text[i])) return std::nullopt;
    }
    UsbId id;
    id.vendor = static_cast<uint16_t>(std::stoul(text.substr(0, 4), nullptr, 16));
    id.product = static_cast<uint16_t>(std::stoul(text.substr(5, 4), nullptr, 16));
    return id;
}

bool ValidUsbSerial(const std::string& text) {
    if (text.empty() || text.size() > 126) return false;
    for (const char c : text) {
        if (c < 0x20 || c > 0x7e) return false;
    }
    return true;
}

std::vector<uint8_t> FunctionFsDescriptors() {
    std::vector<uint8_t> out;
    PutLe32(out, kDescriptorsMagicV2);
    PutLe32(out, 0);  // length, set below
    PutLe32(out, kHasFullSpeed | kHasHighSpeed);
    PutLe32(out, 3);  // full-speed descriptors
    PutLe32(out, 3);  // high-speed descriptors
    PutInterfaceAndEndpoints(out, 64);
    PutInterfaceAndEndpoints(out, 512);
    SetLe32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

std::vector<uint8_t> FunctionFsStrings() {
    std::vector<uint8_t> out;
    PutLe32(out, kStringsMagic);
    PutLe32(out, 0);  // length, set below
    PutLe32(out, 1);  // strings per language
    PutLe32(out, 1);  // languages
    PutLe16(out, kEnglishUs);
    const size_t n = std::strlen(kGadgetInterfaceName);
    out.insert(out.end(), kGadgetInterfaceName, kGadgetInterfaceName + n + 1);
    SetLe32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

}  // namespace zsim
