// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which device a path leads to, so that one device offered under two names
// (a pty and a link to it, /dev/serial/by-id/... and /dev/ttyUSB0) counts as
// one calculator.
#include <string>

// A text equal for two paths exactly when they lead to the same device: the
// device number of a character device, else the path with its links
// resolved; a path that leads nowhere (or a "usb:" path) stands for itself.
std::string DeviceIdentity(const std::string& path);

// Whether the device a listed path names is there now: on Linux the path
// leads to something ("usb:" paths are there when the enumeration offers
// them); on Windows a COM port ("\\.\COMn") is there when the system knows
// the port, any other path when it names something that exists.
bool DevicePresent(const std::string& path);
