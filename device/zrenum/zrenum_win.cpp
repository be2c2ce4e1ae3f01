// SPDX-License-Identifier: GPL-3.0-or-later
// zrenum.dll: the calculator enumeration on Windows.
#include <algorithm>
#include <cstdlib>

#include "device_lists.h"
#include "windows_scan.h"
#include "zrenum.h"

int ZrEnumUsbA(int index, char* buf, int size)
{
    if (index < 0 || buf == nullptr || size <= 0) {
        return -1;
    }
    std::vector<std::string> offered = SplitDevicePaths(std::getenv("ZENTRIX_DEVICES"));
    // The system is asked only once the listed paths are used up; a port
    // listed already is not offered twice.
    if (static_cast<size_t>(index) >= offered.size()) {
        std::vector<std::string> found = ScanComPorts();
        for (std::string& path : ScanUsbInterfaces(ParseUsbIds(std::getenv("ZENTRIX_USB_IDS")))) {
            found.push_back(std::move(path));
        }
        for (std::string& path : found) {
            if (std::find(offered.begin(), offered.end(), path) == offered.end()) {
                offered.push_back(std::move(path));
            }
        }
    }
    return OfferEntry(index, buf, size, offered);
}
