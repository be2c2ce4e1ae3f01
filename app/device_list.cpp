// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_list.h"

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "device/device_listing.h"
#include "device/device_source.h"
#include "i18n/message.h"

namespace {

std::vector<ListedDevice> UnlistedCandidates(const std::vector<ListedDevice>& listed)
{
    std::set<std::string> seen;
    for (const ListedDevice& device : listed) {
        seen.insert(DeviceIdentity(device.path));
    }
    std::vector<ListedDevice> others;
    for (ListedDevice& candidate : ListCandidateDevices()) {
        if (seen.insert(DeviceIdentity(candidate.path)).second) {
            others.push_back(std::move(candidate));
        }
    }
    return others;
}

}  // namespace

int PrintDeviceList(const DeviceChoice& choice, std::ostream& out, const COwnLines& note,
                    const DecisionLog& decisions)
{
    const MoCatalogue* texts = note.Catalogue();
    const Message& origin = choice.origin;
    if (choice.NamesAnyDevice()) {
        note.Say(Message(N_("the calculators listed are those named by %s"), {origin}), OwnLineKind::Plain);
    }
    std::vector<ListedDevice> devices = ListOfferedDevices(choice, decisions);
    AttachLabels(devices, choice.labels);
    for (const ListedDevice& device : devices) {
        out << FormatListedDevice(device).Render(texts) << '\n';
    }
    if (devices.empty() && choice.NamesAnyDevice()) {
        out << Message(N_("no calculator found among those named by %s"), {origin}).Render(texts) << "\n";
    }
    // What the device chooser offers besides: the devices that could be a
    // calculator and are not among those listed.
    std::vector<ListedDevice> others = UnlistedCandidates(devices);
    AttachLabels(others, choice.labels);
    for (const ListedDevice& device : others) {
        out << Message(N_("%s  (not configured)"), {FormatListedDevice(device)}).Render(texts) << '\n';
    }
    if (devices.empty() && others.empty() && !choice.NamesAnyDevice()) {
        out << Message(N_("no calculator found: %s"), {NothingConfiguredHint()}).Render(texts) << "\n";
    }
    out.flush();
    return 0;
}
