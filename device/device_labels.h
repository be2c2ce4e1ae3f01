// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The names people give calculators and hub slots ("Desk 3", "Cart B slot
// 7"), and the stable ways to name a USB calculator whose bus address
// changes at every plugging: `usb-serial:SERIAL` (the serial number it
// reports) and `usb-port:BUS-PORT[.PORT...]` (where it is plugged in, as the
// system names the port: "1-2.3").
#include <string>
#include <vector>

#include "device/usb_location.h"

inline constexpr const char* kUsbSerialPrefix = "usb-serial:";
inline constexpr const char* kUsbPortPrefix = "usb-port:";
// The most characters of a label kept; a longer one is cut.
inline constexpr size_t kLabelChars = 40;

// One `label = DEVICE = NAME` line: DEVICE a path, a usb-serial: or a
// usb-port: name; NAME already made fit to be shown.
struct DeviceLabel {
    std::string device;
    std::string name;
};

// Whether `text` is a usb-serial: or usb-port: name with something after
// its prefix.
bool IsStableUsbName(const std::string& text);

// The label of the calculator at `path`, which is where `usb` says; the
// first of `labels` that names it: by serial number, by port, or by path
// (also under another name of the same device, as a /dev/serial/by-id link,
// or COM3 for \\.\COM3). Empty when none does.
std::string LabelFor(const std::vector<DeviceLabel>& labels, const std::string& path, const UsbLocation& usb);

// How a label line names the calculator at `path`, where `usb` says it is:
// by its serial number, else by its USB port, else by its path.
std::string StableNameOf(const std::string& path, const UsbLocation& usb);

// The "usb:BUS:ADDRESS" paths of the USB devices a stable name names now,
// in the order of their ports: none when none is connected (and for any
// other text), more than one when devices share a serial number. Looked up
// afresh at each call: the address changes when the calculator is plugged
// in again.
std::vector<std::string> ResolveStableUsbNames(const std::string& name,
                                               const std::string& sysfsRoot = "/sys/bus/usb/devices");
