// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which calculators the program looks for: the device paths and USB IDs of
// the one source that named them (the command line, the environment or a
// configuration file), worked out once at start-up and handed down.
#include <string>
#include <vector>

#include "device/device_labels.h"
#include "i18n/message.h"

struct DeviceChoice {
    std::vector<std::string> paths;    // offered first, in order
    std::vector<std::string> usbIds;   // "vvvv:pppp", lower-case hex
    Message origin;                    // where they came from, for the user
    // The names given to calculators, from every configuration file
    // whichever source named the devices (the user's first).
    std::vector<DeviceLabel> labels;
    // The inventory's tags of calculators (`asset-tag = DEVICE = TAG`),
    // named as labels name them.
    std::vector<DeviceLabel> assetTags;
    // One calculator is wanted (a single update, not a set or station): a
    // stable name that several devices answer to names none of them.
    bool oneCalculator = false;

    bool NamesAnyDevice() const { return !paths.empty() || !usbIds.empty(); }
};

// `text` as a "vvvv:pppp" USB ID pair (four hex digits each, either case),
// in lower case; empty when it is not one.
std::string NormalizedUsbId(const std::string& text);
