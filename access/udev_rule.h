// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the access helper writes: the udev rule that lets the user at the
// seat open one calculator model over USB and keeps ModemManager off it.
#include <string>
#include <vector>

// The rule file's name for the model `id` (as accepted by IsUsbIdArgument),
// in the rules folder: one file a model, so a second model keeps the first.
std::string RuleFileName(const std::string& id);

// True only for "vvvv:pppp": four lower-case hex digits, a colon, four more;
// nothing before, after or between.
bool IsUsbIdArgument(const std::string& text);

// Why `id` is not a calculator's, or empty: no device has IDs 0000:0000,
// the Linux Foundation's IDs are root hubs', and a present device of the
// hub class (as `usbDevicesDir`, the sysfs folder of USB devices, shows) is
// a hub whatever its IDs.
std::string RefusalOf(const std::string& id, const std::string& usbDevicesDir);

// True for a group name as useradd and groupadd take it: a lower-case
// letter or _, then lower-case letters, digits, _ and -; at most 32.
bool IsGroupNameArgument(const std::string& text);

// The whole rule file for the vendor and product ID `id` (as accepted by
// IsUsbIdArgument). It matches the USB device itself, never a device
// below it. With `group` (as IsGroupNameArgument accepts) that group may
// open it too, wherever its members are (a service without a seat).
std::string UdevRuleText(const std::string& id, const std::string& group = {});

// Puts `text` in place as `dir`/`name`, readable by all, through a
// temporary file in the same folder renamed over it (an old rule is replaced
// whole or not at all). Empty on success, else why not; the temporary file
// never stays behind.
std::string WriteRuleFile(const std::string& dir, const std::string& name, const std::string& text);

// Runs `program` with `arguments` (no shell, an empty environment) and
// waits; empty when it exited with 0, else what happened.
std::string RunCommand(const std::string& program, const std::vector<std::string>& arguments);
