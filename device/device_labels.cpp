// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_labels.h"

#include "device/device_identity.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The name a path is given without the Windows device prefix ("\\.\COM3"
// is COM3).
std::string WithoutDosPrefix(const std::string& path)
{
    const std::string prefix = "\\\\.\\";
    return StartsWith(path, prefix.c_str()) ? path.substr(prefix.size()) : path;
}

bool SamePath(const std::string& labelled, const std::string& path)
{
    if (WithoutDosPrefix(labelled) == WithoutDosPrefix(path)) {
        return true;
    }
    return !StartsWith(path, "usb:") && DeviceIdentity(labelled) == DeviceIdentity(path);
}

bool Names(const DeviceLabel& label, const std::string& path, const UsbLocation& usb)
{
    const std::string serialPrefix = kUsbSerialPrefix;
    const std::string portPrefix = kUsbPortPrefix;
    if (StartsWith(label.device, kUsbSerialPrefix)) {
        return !usb.serial.empty() && label.device.substr(serialPrefix.size()) == usb.serial;
    }
    if (StartsWith(label.device, kUsbPortPrefix)) {
        return !usb.port.empty() && label.device.substr(portPrefix.size()) == usb.port;
    }
    return SamePath(label.device, path);
}

}  // namespace

bool IsStableUsbName(const std::string& text)
{
    const std::string serialPrefix = kUsbSerialPrefix;
    const std::string portPrefix = kUsbPortPrefix;
    return (StartsWith(text, kUsbSerialPrefix) && text.size() > serialPrefix.size()) ||
           (StartsWith(text, kUsbPortPrefix) && text.size() > portPrefix.size());
}

std::string StableNameOf(const std::string& path, const UsbLocation& usb)
{
    if (!usb.serial.empty()) {
        return kUsbSerialPrefix + usb.serial;
    }
    return usb.port.empty() ? path : kUsbPortPrefix + usb.port;
}

std::string LabelFor(const std::vector<DeviceLabel>& labels, const std::string& path, const UsbLocation& usb)
{
    for (const DeviceLabel& label : labels) {
        if (Names(label, path, usb)) {
            return label.name;
        }
    }
    return {};
}
