// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_refusals.h"

#include <charconv>

namespace {

// What Linux's USB core and its xHCI driver say when a device plugged in is
// not taken in.
constexpr std::string_view kRefusals[] = {
    "Max number of devices this xHCI host supports is",
    "Error while assigning device slot ID",
    "unable to enumerate USB device",
    "couldn't allocate usb_device",
    "device not accepting address",
    "device descriptor read/",
    "Cannot enable. Maybe the USB cable is bad?",
};

}  // namespace

bool IsUsbRefusal(std::string_view message)
{
    for (const std::string_view refusal : kRefusals) {
        if (message.find(refusal) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool ParseKernelRecord(std::string_view record, int64_t& microseconds, std::string_view& text)
{
    const size_t semicolon = record.find(';');
    if (semicolon == std::string_view::npos) {
        return false;
    }
    const std::string_view prefix = record.substr(0, semicolon);
    const size_t first = prefix.find(',');
    const size_t second = first == std::string_view::npos ? first : prefix.find(',', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    const size_t third = prefix.find(',', second + 1);
    const std::string_view time = prefix.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
    const auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), microseconds);
    if (error != std::errc() || end != time.data() + time.size() || time.empty()) {
        return false;
    }
    text = record.substr(semicolon + 1);
    text = text.substr(0, text.find('\n'));
    return true;
}
