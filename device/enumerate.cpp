// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/enumerate.h"

#include <algorithm>
#include <cstdlib>

#include "device/device_source.h"
#include "device/device_watch.h"
#include "device/safe_text.h"
#include "device/zrenum/zrenum.h"

int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    const int result = ZrEnumUsbA(index, buffer, size);
    return result < 0 ? -1 : result;
}

namespace {

std::vector<std::string> ListedDevicePaths()
{
    std::vector<std::string> paths;
    const char* listed = std::getenv("ZENTRIX_DEVICES");
    std::string entry;
    for (const char* c = listed != nullptr ? listed : ""; ; ++c) {
        if (*c == ';' || *c == '\0') {
            if (!entry.empty()) {
                paths.push_back(entry);
            }
            entry.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            entry += *c;
        }
    }
    return paths;
}

}  // namespace

int32_t CListedDeviceSource::EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    if (index < 0 || static_cast<size_t>(index) >= paths.size() || buffer == nullptr ||
        paths[static_cast<size_t>(index)].size() >= static_cast<size_t>(size < 0 ? 0 : size)) {
        return -1;
    }
    const std::string& path = paths[static_cast<size_t>(index)];
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = '\0';
    return index + 1;
}

CSystemDeviceSource::CSystemDeviceSource() = default;
CSystemDeviceSource::~CSystemDeviceSource() = default;

bool CSystemDeviceSource::DevicesChanged()
{
    const std::vector<std::string> listed = ListedDevicePaths();
    if (m_watch == nullptr) {
        m_watch = std::make_unique<CDeviceWatch>(listed);
        return true;
    }
    if (!m_watch->TakeChange() && m_watch->Watching()) {
        return false;
    }
    m_watch->Follow(listed);   // before the listing that follows
    return true;
}

int32_t CSystemDeviceSource::EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    return ::EnumerateDevicePath(index, buffer, size);
}

std::string CSystemDeviceSource::Describe() const
{
    const char* devices = std::getenv("ZENTRIX_DEVICES");
    const char* ids = std::getenv("ZENTRIX_USB_IDS");
    const bool haveDevices = devices != nullptr && *devices != '\0';
    const bool haveIds = ids != nullptr && *ids != '\0';
    if (!haveDevices && !haveIds) {
        return "neither ZENTRIX_DEVICES nor ZENTRIX_USB_IDS is set: name the serial port in "
               "ZENTRIX_DEVICES or the calculator's USB IDs in ZENTRIX_USB_IDS (see zentrix-update --help)";
    }
    std::string searched = "searched";
    if (haveDevices) {
        searched += " ZENTRIX_DEVICES=" + SafeText(devices);
    }
    if (haveIds) {
        searched += std::string(haveDevices ? " and" : "") + " USB devices with ZENTRIX_USB_IDS=" + SafeText(ids);
    }
    return searched + "; check that the calculator is connected and in its receive mode";
}
