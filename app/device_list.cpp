// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_list.h"

#include <ostream>
#include <string>
#include <vector>

#include "device/device_listing.h"
#include "device/device_source.h"
#include "i18n/message.h"

int PrintDeviceList(const DeviceChoice& choice, std::ostream& out, std::ostream& note, const MoCatalogue* texts)
{
    const Message origin = Message::Word(choice.origin);
    if (choice.NamesAnyDevice()) {
        note << "zentrix-update: "
             << Message(N_("the calculators listed are those named by %s"), {origin}).Render(texts) << "\n";
    }
    const std::vector<ListedDevice> devices = ListOfferedDevices(choice);
    for (const ListedDevice& device : devices) {
        out << FormatListedDevice(device).Render(texts) << '\n';
    }
    if (devices.empty() && choice.NamesAnyDevice()) {
        out << Message(N_("no calculator found among those named by %s"), {origin}).Render(texts) << "\n";
    } else if (devices.empty()) {
        out << Message(N_("no calculator found: %s"), {NothingConfiguredHint()}).Render(texts) << "\n";
    }
    out.flush();
    return 0;
}
