// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why the system refuses this process a device, in the words of its
// permissions: for the decision log, where "permission denied" alone does
// not say which rule decided.
#include <string>

// The device node behind `path` (a serial port, or usb:BUS:ADDR), its
// owner, group and mode, and this process's user and groups; empty where
// the platform does not say (Windows: the driver decides).
std::string NodeAccessText(const std::string& path);
