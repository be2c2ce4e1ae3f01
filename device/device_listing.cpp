// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_listing.h"

#include <cstdio>
#include <cstring>

#include "device/device_describe.h"
#include "device/device_source.h"
#include "device/safe_text.h"
#include "i18n/message.h"

namespace {

std::string Quoted(const std::string& text)
{
    return text.empty() ? "-" : "\"" + SafeText(text) + "\"";
}

}  // namespace

std::vector<ListedDevice> ListOfferedDevices(const DeviceChoice& choice, const DecisionLog& decisions)
{
    std::vector<ListedDevice> devices;
    for (std::string& path : ListChosenDevicePaths(choice, decisions)) {
        ListedDevice device;
        device.path = std::move(path);
        DescribeOfferedDevice(device);
        devices.push_back(std::move(device));
    }
    return devices;
}

void AttachLabels(std::vector<ListedDevice>& devices, const std::vector<DeviceLabel>& labels)
{
    for (ListedDevice& device : devices) {
        UsbLocation where;
        where.serial = device.serialNumber;
        where.port = device.portChain;
        device.label = LabelFor(labels, device.path, where);
    }
}

Message FormatListedDevice(const ListedDevice& device)
{
    // The path comes from the environment or a configuration file, the
    // strings from the device: none of them may start a line of its own.
    std::string described = SafeText(device.path);
    char ids[16];
    if (device.usb && device.found) {
        std::snprintf(ids, sizeof ids, "%04x:%04x", device.vendor, device.product);
        described += std::string("  ") + ids + "  " + Quoted(device.manufacturer) + " " + Quoted(device.productName);
    }
    Message line = Message::Raw(described);
    if (!device.label.empty()) {
        line = Message(N_("%s  label %s"), {line, Quoted(device.label)});
    }
    if (device.usb && device.found) {
        if (!device.serialNumber.empty()) {
            line = Message(N_("%s  serial %s"), {line, Quoted(device.serialNumber)});
        }
        if (!device.portChain.empty()) {
            line = Message(N_("%s  port %s"), {line, device.portChain});
        }
    }
    if (device.mayOpen) {
        return Message(N_("%s  may open: yes"), {line});
    }
    const Message problem = Message::OneLine(device.problem.reason);
    return Message(N_("%s  may open: no (%s)"),
                   {line, device.usb && device.found ? WithUsbAccessRemedy(device, problem) : problem});
}
