// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/device_picking.h"

#include <algorithm>

#include "device/decision_log.h"
#include "device/device_identity.h"
#include "device/safe_text.h"

namespace {

constexpr int32_t kDevicePathSize = 260;

}  // namespace

std::vector<std::string> OfferedDevicePaths(IDeviceSource& devices, bool presentOnly, int32_t mostSteps)
{
    std::vector<std::string> paths;
    std::vector<std::string> identities;   // one name per device: the first offered
    const DecisionLog decisions = devices.Decisions();
    char buffer[kDevicePathSize] = {};
    int32_t index = 0;
    for (int32_t steps = 0; steps < mostSteps; ++steps) {
        index = devices.EnumerateDevicePath(index, buffer, sizeof buffer);
        if (index < 0) {
            break;
        }
        const std::string path = buffer;
        if (path.empty() || std::find(paths.begin(), paths.end(), path) != paths.end()) {
            continue;
        }
        if (presentOnly && !DevicePresent(path)) {
            decisions([&] { return "passed over " + SafeText(path) + ": not plugged in (no such device now)"; });
            continue;
        }
        std::string identity = DeviceIdentity(path);
        if (std::find(identities.begin(), identities.end(), identity) != identities.end()) {
            decisions([&] { return "passed over " + SafeText(path) + ": another name of a device already offered"; });
            continue;
        }
        decisions([&] { return (presentOnly ? "offered " : "listed ") + SafeText(path); });
        identities.push_back(std::move(identity));
        paths.push_back(path);
    }
    return paths;
}

bool ClaimFirstFreeDevice(IDeviceSource& devices, CClaimedDeviceList& claimed, std::string& devicePath)
{
    char path[kDevicePathSize] = {};
    int32_t index = 0;
    const DecisionLog decisions = devices.Decisions();
    for (;;) {
        index = devices.EnumerateDevicePath(index, path, kDevicePathSize);
        if (index < 0) {
            return false;
        }
        if (claimed.ClaimDevicePath(path) == 1) {
            devicePath = path;
            decisions([&] { return "claimed " + SafeText(devicePath) + " for a run"; });
            return true;
        }
        decisions([&] { return "passed over " + SafeText(path) + ": another run of this program has it"; });
    }
}
