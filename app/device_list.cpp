// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_list.h"

#include <ostream>
#include <string>
#include <vector>

#include "device/device_listing.h"
#include "device/device_source.h"
#include "i18n/localize.h"
#include "i18n/text_format.h"

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
        out << t(FormatText(N_("no calculator found: %s"), {NothingConfiguredHint()})) << "\n";
    }
    out.flush();
    return 0;
}
