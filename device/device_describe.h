// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's part of the device listing: fills in what the platform can
// tell about one offered device (whether it is a USB device, its IDs and
// strings, whether this user may open it and why not).
#include "device/device_listing.h"

void DescribeOfferedDevice(ListedDevice& device);
