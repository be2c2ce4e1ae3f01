// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells when the devices connected may have changed, so that a station looks
// again at once instead of polling: on Linux the system's device events
// (udev, sent once the device's permissions are in place) for USB devices
// and serial ports, and changes in the folders of the listed device paths
// (a pty or a link appearing). Made before the first listing, so that no
// change falls between the two. Where no events can be had, it says so, and
// the caller's slow rescan is all there is.
#include <memory>
#include <string>
#include <vector>

class CDeviceWatch {
public:
    // `listedPaths`: the device paths offered by name; their folders are
    // watched.
    explicit CDeviceWatch(const std::vector<std::string>& listedPaths);
    ~CDeviceWatch();
    CDeviceWatch(const CDeviceWatch&) = delete;
    CDeviceWatch& operator=(const CDeviceWatch&) = delete;

    // Watches the folders of what the listed paths lead to now (called
    // before each listing, as links come and go).
    void Follow(const std::vector<std::string>& listedPaths);
    // Whether a change came since the last call. Never waits.
    bool TakeChange();
    // Whether any event source could be set up.
    bool Watching() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
