// SPDX-License-Identifier: GPL-3.0-or-later
// zrenum.dll: the calculator enumeration on Windows.
#include <algorithm>
#include <cstdlib>

#include "device_lists.h"
#include "windows_scan.h"
#include "zrenum.h"

namespace {

// The listed paths, then the present COM ports and USB interfaces; a port
// listed already is not offered twice.
void AddPresent(std::vector<std::string>& offered, const char* usbIds)
{
    std::vector<std::string> found = ScanComPorts();
    for (std::string& path : ScanUsbInterfaces(ParseUsbIds(usbIds))) {
        found.push_back(std::move(path));
    }
    for (std::string& path : found) {
        if (std::find(offered.begin(), offered.end(), path) == offered.end()) {
            offered.push_back(std::move(path));
        }
    }
}

// The listed paths first; the system is asked only once they are used up.
int OfferListedThenPresent(int index, char* buf, int size, std::vector<std::string> offered,
                           const char* usbIds)
{
    if (index < 0 || buf == nullptr || size <= 0) {
        return -1;
    }
    if (static_cast<size_t>(index) >= offered.size()) {
        AddPresent(offered, usbIds);
    }
    return OfferEntry(index, buf, size, offered);
}

}  // namespace

int ZrEnumUsbA(int index, char* buf, int size)
{
    return OfferListedThenPresent(index, buf, size, SplitDevicePaths(std::getenv("ZENTRIX_DEVICES")),
                                  std::getenv("ZENTRIX_USB_IDS"));
}

int ZrEnumListedA(int index, char* buf, int size, const char* const* paths, int pathCount, const char* usbIds)
{
    return OfferListedThenPresent(index, buf, size, PathsFromArray(paths, pathCount), usbIds);
}

int ZrEnumListAllA(char* buf, int size, const char* const* paths, int pathCount, const char* usbIds)
{
    std::vector<std::string> offered = PathsFromArray(paths, pathCount);
    AddPresent(offered, usbIds);
    return PutAllEntries(buf, size, offered);
}
