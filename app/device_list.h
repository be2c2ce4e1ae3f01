// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --list-devices: what the device layer offers, printed for the user.
#include <iosfwd>

#include "device/device_choice.h"

class MoCatalogue;

// Writes one line per offered device to `out`, each with its label, then
// one per device the chooser would offer besides ("not configured"), and a
// hint when there is none, and where the list came from to `note`, in the language of `texts`
// (null: English); the exit code of --list-devices.
int PrintDeviceList(const DeviceChoice& choice, std::ostream& out, std::ostream& note,
                    const MoCatalogue* texts = nullptr);
