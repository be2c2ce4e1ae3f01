// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's part of the device listing: fills in what the platform can
// tell about one offered device (whether it is a USB device, its IDs and
// strings, whether this user may open it and why not).
#include <string>

#include "device/device_listing.h"
#include "i18n/message.h"

void DescribeOfferedDevice(ListedDevice& device);

// `problem`, said of a USB calculator (`device`, its IDs known) that may not
// be opened, followed by what gives this user the calculator; `problem`
// alone when the platform has no remedy for it.
Message WithUsbAccessRemedy(const ListedDevice& device, const Message& problem);
