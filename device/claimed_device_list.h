// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device paths held by update runs of this process, so that no two runs
// talk to the same calculator, even under two names of one device (see
// DeviceIdentity). A run holds its place while it is in progress and gives
// it back when it ends. Runs on several threads may share one list.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CClaimedDeviceList {
public:
    static constexpr int32_t kMaxClaimed = 10;

    // `capacity` paths at most; the update loop's list holds kMaxClaimed.
    explicit CClaimedDeviceList(int32_t capacity = kMaxClaimed) : m_capacity(capacity) {}

    // 1 when the path was added; 0 when the list is full or holds it (or
    // another name of its device) already.
    int ClaimDevicePath(const char* path);
    // 1 when the path was found and removed; 0 when it was not in the list.
    int ReleaseDevicePath(const char* path);

    // Read these only while no run can claim or release.
    int32_t m_claimedCount = 0;
    std::vector<std::string> m_claimedPaths;   // in the order they were claimed

private:
    int32_t m_capacity;
    std::mutex m_lock;
    std::vector<std::string> m_identities;   // of m_claimedPaths, in their order
};

// One path held in a list from its making to its end (or Release): the
// place of a run started with its calculator already chosen.
class CDeviceClaim {
public:
    CDeviceClaim(CClaimedDeviceList& list, std::string path);
    ~CDeviceClaim() { Release(); }
    CDeviceClaim(CDeviceClaim&& other) noexcept;
    CDeviceClaim(const CDeviceClaim&) = delete;
    CDeviceClaim& operator=(const CDeviceClaim&) = delete;
    CDeviceClaim& operator=(CDeviceClaim&&) = delete;

    // False when the list was full or held the path (or its device) already.
    bool Held() const { return m_list != nullptr; }
    const std::string& Path() const { return m_path; }
    // Gives the place back now; nothing when it is not held.
    void Release();

private:
    CClaimedDeviceList* m_list;
    std::string m_path;
};
