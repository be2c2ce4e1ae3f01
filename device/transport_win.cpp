// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/transport.h"

#include <cerrno>

#include "device/win_transport.h"
#include "device/winusb_transport.h"
#include "i18n/text_format.h"

std::unique_ptr<CTransport> OpenDeviceTransport(const char* devicePath, OpenFailure& failure)
{
    failure = OpenFailure::Device;
    if (devicePath == nullptr || *devicePath == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    if (IsUsbInterfacePath(devicePath)) {
        return CWinUsbTransport::OpenPath(devicePath);
    }
    return CWinTransport::OpenPath(devicePath, failure);
}

const char* PermissionRemedy()
{
    return N_("for USB check in Device Manager that the calculator has its WinUSB driver (see the README), for a "
              "COM port close the program that holds it, then plug the calculator in again");
}

const char* MissingDeviceRemedy()
{
    // A COM port of a USB cable is there only while the cable is plugged in.
    return N_("check that the cable is plugged in, that the port is the calculator's (the chooser lists the ports "
              "there are) and that the cable's driver is installed (Device Manager, Ports)");
}

const char* NoDriverReason()
{
    return N_("WinUSB is not available for this device (the calculator has no WinUSB driver, or winusb.dll is "
              "missing or does not work here); install the calculator's WinUSB driver (the installer's \"WinUSB "
              "driver\" component with the calculator's USB IDs, see the README), then plug the calculator in again");
}

Message NotACalculator(const char* /*devicePath*/)
{
    return Message(N_("a device of another kind"));
}
