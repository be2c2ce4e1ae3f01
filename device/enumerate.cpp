// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/enumerate.h"

#include <cstdlib>

#include "device/device_source.h"
#include "device/zrenum/zrenum.h"

namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

std::string DescribeEnvironment()
{
    const char* devices = std::getenv("ZENTRIX_DEVICES");
    const char* ids = std::getenv("ZENTRIX_USB_IDS");
    const bool haveDevices = devices != nullptr && *devices != '\0';
    const bool haveIds = ids != nullptr && *ids != '\0';
    if (!haveDevices && !haveIds) {
        return "neither ZENTRIX_DEVICES nor ZENTRIX_USB_IDS is set: " + NothingConfiguredHint();
    }
    std::string searched = "searched";
    if (haveDevices) {
        searched += std::string(" ZENTRIX_DEVICES=") + devices;
    }
    if (haveIds) {
        searched += std::string(haveDevices ? " and" : "") + " USB devices with ZENTRIX_USB_IDS=" + ids;
    }
    return searched + "; check that the calculator is connected and in its receive mode";
}

}  // namespace

int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    const int result = ZrEnumUsbA(index, buffer, size);
    return result < 0 ? -1 : result;
}

int32_t EnumerateChosenDevicePath(const DeviceChoice& choice, int32_t index, char* buffer, int32_t size)
{
    std::vector<const char*> paths;
    paths.reserve(choice.paths.size());
    for (const std::string& path : choice.paths) {
        paths.push_back(path.c_str());
    }
    const std::string ids = Joined(choice.usbIds, ",");
    const int result = ZrEnumListedA(index, buffer, size, paths.data(), static_cast<int>(paths.size()), ids.c_str());
    return result < 0 ? -1 : result;
}

int32_t CSystemDeviceSource::EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    return m_choice ? EnumerateChosenDevicePath(*m_choice, index, buffer, size)
                    : ::EnumerateDevicePath(index, buffer, size);
}

std::string NothingConfiguredHint()
{
#ifdef _WIN32
    const char* example = "--device \\\\.\\COM3";
#else
    const char* example = "--device /dev/ttyUSB0";
#endif
    return std::string("name the calculator with ") + example +
           " or --usb-id VVVV:PPPP, in ZENTRIX_DEVICES or ZENTRIX_USB_IDS, or as a device = or usb-id = line "
           "of the configuration file (see zentrix-update --help)";
}

std::string CSystemDeviceSource::Describe() const
{
    if (!m_choice) {
        return DescribeEnvironment();
    }
    if (!m_choice->NamesAnyDevice()) {
        return "no calculator is configured: " + NothingConfiguredHint();
    }
    std::string searched = "searched";
    if (!m_choice->paths.empty()) {
        searched += " " + Joined(m_choice->paths, ", ");
    }
    if (!m_choice->usbIds.empty()) {
        searched += std::string(m_choice->paths.empty() ? "" : " and") + " USB devices with IDs " +
                    Joined(m_choice->usbIds, ", ");
    }
    return searched + " (from " + m_choice->origin + "); check that the calculator is connected and in its "
                                                      "receive mode";
}
