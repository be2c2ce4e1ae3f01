// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// USB devices the system refused to take in: a device that was plugged in
// but never enumerated (a host controller with all its device slots taken,
// a device that did not answer its address or descriptor requests) is not
// there for the program to find, and only the system's log says why.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How far back a refusal is taken as the reason a calculator is not there.
inline constexpr int64_t kUsbRefusalWindowSeconds = 600;

// Whether a kernel message is one of a USB device refused: the host
// controller out of device slots, or the hub giving up enumerating it.
bool IsUsbRefusal(std::string_view message);

// One record of the kernel's log as /dev/kmsg gives it
// ("PRIORITY,SEQUENCE,MICROSECONDS,FLAGS;TEXT" and continuation lines):
// its time since boot and its text. False for anything else.
bool ParseKernelRecord(std::string_view record, int64_t& microseconds, std::string_view& text);

// The system's own words for the latest USB device it refused in the last
// kUsbRefusalWindowSeconds, where this user may read them: on Linux the
// kernel's log (/dev/kmsg, else the system journal's kernel messages, read
// by root and by members of adm or systemd-journal); nothing on Windows,
// where no such log is read. Reads a bounded number of entries and never
// waits.
std::optional<std::string> LatestUsbRefusal();
