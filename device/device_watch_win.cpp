// SPDX-License-Identifier: GPL-3.0-or-later
// Device changes on Windows are not watched yet: the station's slow rescan
// finds COM ports and USB device interfaces as they come.
#include "device/device_watch.h"

struct CDeviceWatch::Impl {};

CDeviceWatch::CDeviceWatch(const std::vector<std::string>&) : m_impl(std::make_unique<Impl>()) {}

CDeviceWatch::~CDeviceWatch() = default;

void CDeviceWatch::Follow(const std::vector<std::string>&) {}

bool CDeviceWatch::TakeChange()
{
    return false;
}

bool CDeviceWatch::Watching() const
{
    return false;
}
