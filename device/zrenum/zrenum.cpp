// SPDX-License-Identifier: GPL-3.0-or-later
#include "zrenum.h"

#include <cstdlib>

#include "device_lists.h"
#include "usb_scan.h"

int ZrEnumUsbA(int index, char* buf, int size)
{
    return EnumerateDevices(index, buf, size, std::getenv("ZENTRIX_DEVICES"), std::getenv("ZENTRIX_USB_IDS"),
                            ScanUsbDevices);
}

int ZrEnumListedA(int index, char* buf, int size, const char* const* paths, int pathCount, const char* usbIds)
{
    return EnumerateListed(index, buf, size, PathsFromArray(paths, pathCount), ParseUsbIds(usbIds), ScanUsbDevices);
}

int ZrEnumListAllA(char* buf, int size, const char* const* paths, int pathCount, const char* usbIds)
{
    return PutAllEntries(buf, size, ListAll(PathsFromArray(paths, pathCount), ParseUsbIds(usbIds), ScanUsbDevices));
}
