// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What Windows reports present, as the enumeration library offers it.
#include <string>
#include <vector>

#include "device_lists.h"

// The present COM ports as "\\.\COMn", ordered by port number.
std::vector<std::string> ScanComPorts();

// The ports of `numbers` as "\\.\COMn", ordered by number, each once.
std::vector<std::string> ComPortPaths(std::vector<int> numbers);

// The device-interface paths of the present USB devices whose vendor and
// product IDs are among `ids` (the "vid_vvvv&pid_pppp" part of the path).
std::vector<std::string> ScanUsbInterfaces(const std::vector<UsbId>& ids);

// True when a device-interface path names the USB IDs `id` ("vid_vvvv" and
// "pid_pppp" in it, any case).
bool InterfacePathMatches(const std::string& path, const UsbId& id);

// A USB device that Windows drives with WinUSB: what could be a calculator
// when none is configured.
struct WinUsbDevice {
    std::string path;   // its USB device-interface path
    std::string name;   // as Device Manager shows it; empty when it has none
};

// The present USB devices whose driver is WinUSB, ordered by path.
std::vector<WinUsbDevice> ScanWinUsbDevices();
