// SPDX-License-Identifier: GPL-3.0-or-later
// How an offered device is described on Windows: whether this user can open
// it now (it is opened exclusively and closed again at once, nothing
// written).
#include <windows.h>

#include <cstdio>
#include <string>

#include "device/device_describe.h"
#include "device/win_error.h"
#include "device/win_handle.h"
#include "i18n/text_format.h"

namespace {

std::string ProblemText(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return N_("no such device");
    case ERROR_ACCESS_DENIED: return N_("permission denied, or another program has it open");
    case ERROR_SHARING_VIOLATION: return N_("another program has it open");
    default: return WindowsErrorText(error);
    }
}

}  // namespace

void DescribeOfferedDevice(ListedDevice& device)
{
    device.usb = device.path.rfind("\\\\?\\usb#", 0) == 0 || device.path.rfind("\\\\?\\USB#", 0) == 0;
    device.kind = device.usb ? DeviceKind::Usb : DeviceKind::SerialPort;
    CWinHandle opened(CreateFileA(device.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    device.mayOpen = opened.IsValid();
    if (!device.mayOpen) {
        device.problem = ProblemText(GetLastError());
    }
}

Message UsbAccessRemedy(const ListedDevice& device)
{
    if (device.problem == "no such device") {
        return {};
    }
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", device.vendor, device.product);
    return Message::Raw(std::string("; check in Device Manager that the calculator has its WinUSB driver (the "
                                    "installer's WinUSB driver with the USB IDs ") +
                        ids + ", see the README) and that no other program has it open, then plug the calculator in "
                              "again");
}
