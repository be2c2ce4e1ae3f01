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
#include "i18n/message.h"

namespace {

DeviceProblem ProblemOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return {DeviceProblemCode::NoSuchDevice, Message(N_("no such device"))};
    case ERROR_ACCESS_DENIED:
        return {DeviceProblemCode::PermissionDenied, Message(N_("permission denied, or another program has it open"))};
    case ERROR_SHARING_VIOLATION: return {DeviceProblemCode::Busy, Message(N_("another program has it open"))};
    default: return {DeviceProblemCode::SystemError, Message::Raw(WindowsErrorText(error))};
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
        device.problem = ProblemOf(GetLastError());
    }
}

Message WithUsbAccessRemedy(const ListedDevice& device, const Message& problem)
{
    if (device.problem.code == DeviceProblemCode::NoSuchDevice) {
        return problem;
    }
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", device.vendor, device.product);
    return Message(N_("%s; check in Device Manager that the calculator has its WinUSB driver (the installer's WinUSB "
                      "driver with the USB IDs %s, see the README) and that no other program has it open, then plug "
                      "the calculator in again"),
                   {problem, std::string(ids)});
}
