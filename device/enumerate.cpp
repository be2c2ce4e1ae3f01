// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_source.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "device/decision_log.h"
#include "device/device_labels.h"
#include "device/device_watch.h"
#include "device/safe_text.h"
#include "device/usb_refusals.h"
#include "device/zrenum/zrenum.h"
#include "i18n/message.h"

namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

// Every path the enumeration library offers for these lists, from one look
// at the system.
std::vector<std::string> ListAllPaths(const std::vector<std::string>& named, const std::string& usbIds,
                                      bool oneCalculator, const DecisionLog& decisions)
{
    // A stable USB name is looked up now: the address it leads to changes
    // from one plugging to the next. One that leads to nothing is left out;
    // one that leads to several devices gives them all to a set, and none to
    // a single update, which must not guess (Describe says why).
    std::vector<std::string> listed;
    for (const std::string& path : named) {
        std::vector<std::string> found =
            IsStableUsbName(path) ? ResolveStableUsbNames(path) : std::vector<std::string>{path};
        if (found.empty()) {
            decisions([&] { return "passed over " + SafeText(path) + ": no USB device plugged in answers to it"; });
        }
        if (oneCalculator && found.size() > 1) {
            decisions([&] {
                return "passed over " + SafeText(path) + ": " + std::to_string(found.size()) +
                       " devices answer to it, and one calculator is to be updated";
            });
            continue;
        }
        for (std::string& one : found) {
            if (!one.empty() && std::find(listed.begin(), listed.end(), one) == listed.end()) {
                listed.push_back(std::move(one));
            }
        }
    }
    std::vector<const char*> paths;
    paths.reserve(listed.size());
    for (const std::string& path : listed) {
        paths.push_back(path.c_str());
    }
    std::vector<char> buffer(4096);
    for (int tries = 0; tries < 4; ++tries) {
        const int needed = ZrEnumListAllA(buffer.data(), static_cast<int>(buffer.size()), paths.data(),
                                          static_cast<int>(paths.size()), usbIds.c_str());
        if (needed < 0) {
            return {};
        }
        if (static_cast<size_t>(needed) <= buffer.size()) {
            std::vector<std::string> entries;
            for (size_t at = 0; at < static_cast<size_t>(needed);) {
                entries.emplace_back(buffer.data() + at);
                at += entries.back().size() + 1;
            }
            return entries;
        }
        buffer.resize(static_cast<size_t>(needed));   // the system changed between two looks: again
    }
    return {};
}

// The first stable name of `named` that several devices answer to, said
// with the ports of them all; none when every name names one at most.
std::optional<Message> AmbiguousName(const std::vector<std::string>& named)
{
    for (const std::string& name : named) {
        const std::vector<std::string> found = IsStableUsbName(name) ? ResolveStableUsbNames(name) : std::vector<std::string>{};
        if (found.size() < 2) {
            continue;
        }
        std::string devices;
        for (const std::string& path : found) {
            const std::string port = FindUsbLocation(path).port;
            devices += (devices.empty() ? "" : ", ") + path + (port.empty() ? "" : " (usb-port:" + port + ")");
        }
        return Message(N_("%s names more than one device: %s; name one by its port, or update them all with --all"),
                       {SafeText(name), SafeText(devices)});
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> ListChosenDevicePaths(const DeviceChoice& choice, const DecisionLog& decisions)
{
    return ListAllPaths(choice.paths, Joined(choice.usbIds, ","), choice.oneCalculator, decisions);
}

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
CSystemDeviceSource::CSystemDeviceSource(DeviceChoice choice) : m_choice(std::move(choice)) {}
CSystemDeviceSource::~CSystemDeviceSource() = default;

void CSystemDeviceSource::SetChoice(DeviceChoice choice)
{
    m_choice = std::move(choice);
    m_watch.reset();   // the next DevicesChanged watches the new list's folders
}

std::string CSystemDeviceSource::LabelOf(const std::string& path, const UsbLocation& usb) const
{
    std::lock_guard lock(m_snapshotMutex);
    return LabelFor(m_choice.labels, path, usb);
}

std::string CSystemDeviceSource::AssetTagOf(const std::string& path, const UsbLocation& usb) const
{
    std::lock_guard lock(m_snapshotMutex);
    return LabelFor(m_choice.assetTags, path, usb);
}

std::vector<DeviceLabel> CSystemDeviceSource::Labels() const
{
    std::lock_guard lock(m_snapshotMutex);
    return m_choice.labels;
}

void CSystemDeviceSource::GiveName(const DeviceLabel& label, const DeviceLabel& assetTag)
{
    std::lock_guard lock(m_snapshotMutex);
    m_choice.labels.insert(m_choice.labels.begin(), label);
    if (!assetTag.name.empty()) {
        m_choice.assetTags.insert(m_choice.assetTags.begin(), assetTag);
    }
}

bool CSystemDeviceSource::DevicesChanged()
{
    const std::vector<std::string> listed = m_choice.paths;
    if (m_watch == nullptr) {
        m_watch = std::make_unique<CDeviceWatch>(listed);
        return true;
    }
    if (!m_watch->Watching()) {
        // No events to be had: a look about once a second, as without them.
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastUnwatchedLook < std::chrono::seconds(1)) {
            return false;
        }
        m_lastUnwatchedLook = now;
        return true;
    }
    if (!m_watch->TakeChange()) {
        return false;
    }
    m_decisions([] { return std::string("looking again: the system told of a device plugged in or out"); });
    m_watch->Follow(listed);   // before the listing that follows
    return true;
}

// Index 0 takes one snapshot of what is connected; the steps after it hand
// out that snapshot, so one listing is one look at the system.
int32_t CSystemDeviceSource::EnumerateDevicePath(int32_t index, char* buffer, int32_t size)
{
    if (index < 0 || buffer == nullptr || size <= 0) {
        return -1;
    }
    std::lock_guard lock(m_snapshotMutex);
    if (index == 0) {
        m_snapshot = ListChosenDevicePaths(m_choice, m_decisions);
    }
    const auto at = static_cast<size_t>(index);
    if (at >= m_snapshot.size()) {
        return -1;
    }
    // A path that does not fit names no device: its open fails, it is never cut.
    const std::string& path = m_snapshot[at];
    const size_t length = path.size() < static_cast<size_t>(size) ? path.size() : 0;
    std::copy_n(path.c_str(), length, buffer);
    buffer[length] = '\0';
    return index + 1;
}

Message NothingConfiguredHint()
{
#ifdef _WIN32
    const char* example = "--device \\\\.\\COM3";
#else
    const char* example = "--device /dev/ttyUSB0";
#endif
    return Message(N_("name the calculator with %s or --usb-id VVVV:PPPP, in ZENTRIX_DEVICES or "
                         "ZENTRIX_USB_IDS, or as a device = or usb-id = line of the configuration file (see "
                         "zentrix-update --help)"),
                      {std::string(example)});
}

Message CSystemDeviceSource::Describe() const
{
    if (!m_choice.NamesAnyDevice()) {
        return Message(N_("no calculator is configured: %s"), {NothingConfiguredHint()});
    }
    const Message searched = DescribeSearch();
    const std::optional<std::string> refusal = LatestUsbRefusal();
    if (!refusal) {
        return searched;
    }
    m_decisions([&] { return "the system refused a USB device lately: " + *refusal; });
    static_assert(kUsbRefusalWindowSeconds == 600, "the text says 10 minutes");
    return Message(N_("%s; the system refused a USB device in the last 10 minutes (\"%s\"): a USB controller takes "
                      "a limited number of devices, hubs included, so plug the calculator into a port of another "
                      "controller or unplug other devices"),
                   {searched, SafeText(*refusal)});
}

Message CSystemDeviceSource::DescribeSearch() const
{
    if (m_choice.oneCalculator) {
        if (const std::optional<Message> ambiguous = AmbiguousName(m_choice.paths)) {
            return *ambiguous;
        }
    }
    const std::string paths = SafeText(Joined(m_choice.paths, ", "));
    const std::string ids = Joined(m_choice.usbIds, ", ");
    const Message& origin = m_choice.origin;
    if (m_choice.usbIds.empty()) {
        return Message(N_("searched %s (from %s); check that the calculator is connected and in its receive "
                             "mode"),
                          {paths, origin});
    }
    if (m_choice.paths.empty()) {
        return Message(N_("searched USB devices with IDs %s (from %s); check that the calculator is connected "
                             "and in its receive mode"),
                          {ids, origin});
    }
    return Message(N_("searched %s and USB devices with IDs %s (from %s); check that the calculator is "
                         "connected and in its receive mode"),
                      {paths, ids, origin});
}
