// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_listing.h"

#include <cstdio>
#include <cstring>
#include <ostream>

#include "device/device_describe.h"
#include "device/device_source.h"
#include "device/enumerate.h"
#include "device/safe_text.h"
#include "i18n/localize.h"
#include "i18n/text_format.h"

namespace {

std::string Quoted(const std::string& text)
{
    return text.empty() ? "-" : "\"" + SafeText(text) + "\"";
}

}  // namespace

std::vector<ListedDevice> ListOfferedDevices(const DeviceChoice& choice)
{
    std::vector<ListedDevice> devices;
    for (std::string& path : ListChosenDevicePaths(choice)) {
        ListedDevice device;
        device.path = std::move(path);
        DescribeOfferedDevice(device);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::string FormatListedDevice(const ListedDevice& device)
{
    // The path comes from the environment or a configuration file, the
    // strings from the device: none of them may start a line of its own.
    std::string line = SafeText(device.path);
    char ids[16];
    if (device.usb && device.found) {
        std::snprintf(ids, sizeof ids, "%04x:%04x", device.vendor, device.product);
        line += std::string("  ") + ids + "  " + Quoted(device.manufacturer) + " " + Quoted(device.productName);
        if (!device.serialNumber.empty()) {
            line = FormatText(N_("%s  serial %s"), {line, Quoted(device.serialNumber)});
        }
        if (!device.portChain.empty()) {
            line = FormatText(N_("%s  port %s"), {line, device.portChain});
        }
    }
    if (device.mayOpen) {
        return FormatText(N_("%s  may open: yes"), {line});
    }
    std::string problem = SafeLine(device.problem);
    if (device.usb && device.found) {
        problem += UsbAccessRemedy(device);
    }
    return FormatText(N_("%s  may open: no (%s)"), {line, problem});
}

int PrintDeviceList(const DeviceChoice& choice, std::ostream& out, std::ostream& note, const MoCatalogue* texts)
{
    const auto t = [texts](const std::string& english) { return Localize(texts, english); };
    if (choice.NamesAnyDevice()) {
        note << "zentrix-update: "
             << t(FormatText(N_("the calculators listed are those named by %s"), {choice.origin})) << "\n";
    }
    const std::vector<ListedDevice> devices = ListOfferedDevices(choice);
    for (const ListedDevice& device : devices) {
        out << t(FormatListedDevice(device)) << '\n';
    }
    if (devices.empty() && choice.NamesAnyDevice()) {
        out << t(FormatText(N_("no calculator found among those named by %s"), {choice.origin})) << "\n";
    } else if (devices.empty()) {
        out << t(FormatText(N_("no calculator found: %s"), {NothingConfiguredHint().English()})) << "\n";
    }
    out.flush();
    return 0;
}
