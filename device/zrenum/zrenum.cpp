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
