// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which calculators the update runs of this process talk to: the paths a
// device source offers, and the claim that gives each calculator to one run.
#include <cstdint>
#include <string>
#include <vector>

#include "device/claimed_device_list.h"
#include "device/device_source.h"

// The paths `devices` offers now, in its order, each device once (a device
// offered under several names by the first of them); with `presentOnly`
// only the paths that exist now. An enumeration that does not end is read
// for `mostSteps` steps.
std::vector<std::string> OfferedDevicePaths(IDeviceSource& devices, bool presentOnly, int32_t mostSteps);

// Walks the enumeration from its start and claims in `claimed` the first
// path no other run of this process holds; false when there is none.
bool ClaimFirstFreeDevice(IDeviceSource& devices, CClaimedDeviceList& claimed, std::string& devicePath);
