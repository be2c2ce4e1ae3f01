// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/claimed_device_list.h"

#include <algorithm>
#include <utility>

#include "device/device_identity.h"

int CClaimedDeviceList::ClaimDevicePath(const char* path)
{
    if (path == nullptr) {
        return 0;
    }
    std::string identity = DeviceIdentity(path);   // looked up before the lock: it may touch the disk
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_claimedCount >= m_capacity) {
        return 0;
    }
    if (std::find(m_claimedPaths.begin(), m_claimedPaths.end(), path) != m_claimedPaths.end() ||
        std::find(m_identities.begin(), m_identities.end(), identity) != m_identities.end()) {
        return 0;
    }
    m_claimedPaths.emplace_back(path);
    m_identities.push_back(std::move(identity));
    ++m_claimedCount;
    return 1;
}

int CClaimedDeviceList::ReleaseDevicePath(const char* path)
{
    if (path == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> hold(m_lock);
    const auto found = std::find(m_claimedPaths.begin(), m_claimedPaths.end(), path);
    if (found == m_claimedPaths.end()) {
        return 0;
    }
    m_identities.erase(m_identities.begin() + (found - m_claimedPaths.begin()));
    m_claimedPaths.erase(found);
    --m_claimedCount;
    return 1;
}

CDeviceClaim::CDeviceClaim(CClaimedDeviceList& list, std::string path)
    : m_list(list.ClaimDevicePath(path.c_str()) == 1 ? &list : nullptr), m_path(std::move(path))
{
}

CDeviceClaim::CDeviceClaim(CDeviceClaim&& other) noexcept
    : m_list(std::exchange(other.m_list, nullptr)), m_path(std::move(other.m_path))
{
}

void CDeviceClaim::Release()
{
    if (m_list != nullptr) {
        m_list->ReleaseDevicePath(m_path.c_str());
        m_list = nullptr;
    }
}
