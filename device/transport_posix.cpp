// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/transport.h"

#include "device/device_path.h"
#include "device/fd_transport.h"
#include "device/usb_calculator_check.h"
#include "device/usb_transport.h"
#include "i18n/text_format.h"

std::unique_ptr<CTransport> OpenDeviceTransport(const char* devicePath, OpenFailure& failure)
{
    failure = OpenFailure::Device;
    if (devicePath == nullptr || *devicePath == '\0') {
        return nullptr;
    }
    if (IsUsbDevicePath(devicePath)) {
        uint8_t bus = 0;
        uint8_t address = 0;
        if (!ParseUsbDevicePath(devicePath, bus, address)) {
            return nullptr;
        }
        return CUsbTransport::Open(bus, address);
    }
    return CFdTransport::OpenPath(devicePath);
}

const char* PermissionRemedy()
{
    return N_("for USB an administrator installs the udev rule with zentrix-update --grant-access vvvv:pppp (see "
              "the README), or you log in at this computer itself; for a serial port join the dialout group; then "
              "plug the calculator in again");
}

const char* MissingDeviceRemedy()
{
    return nullptr;
}

const char* NoDriverReason()
{
    return N_("the system cannot drive this device");
}

Message NotACalculator(const char* devicePath)
{
    return WhatUsbDeviceIsAt(devicePath);
}
