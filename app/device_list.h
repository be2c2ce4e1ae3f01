// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --list-devices: what the device layer offers, printed for the user.
#include <iosfwd>

#include "device/decision_log.h"
#include "device/device_choice.h"
#include "shell/screen/own_lines.h"

// Writes one line per offered device to `out`, each with its label, then
// one per device the chooser would offer besides ("not configured"), and a
// hint when there is none, in the language of `note`'s catalogue, and
// says where the list came from on `note`; the exit code of --list-devices.
int PrintDeviceList(const DeviceChoice& choice, std::ostream& out, const COwnLines& note,
                    const DecisionLog& decisions = {});
