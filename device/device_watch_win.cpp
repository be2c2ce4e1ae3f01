// SPDX-License-Identifier: GPL-3.0-or-later
// Device changes on Windows: a Plug and Play notification for the arrival
// and removal of any device interface (COM ports and USB device interfaces
// among them), registered through CM_Register_Notification. cfgmgr32.dll's
// function is looked up at run time: where it is missing or refuses (older
// Windows, wine), there are no events and the station's rescan finds what
// comes and goes.
#include <windows.h>
#include <cfgmgr32.h>

#include <atomic>

#include "device/device_watch.h"

namespace {

using RegisterFn = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
using UnregisterFn = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

DWORD CALLBACK OnDeviceEvent(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA, DWORD)
{
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL || action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL) {
        static_cast<std::atomic<bool>*>(context)->store(true);
    }
    return ERROR_SUCCESS;
}

}  // namespace

struct CDeviceWatch::Impl {
    HMODULE module = nullptr;
    HCMNOTIFICATION notification = nullptr;
    UnregisterFn unregister = nullptr;
    std::atomic<bool> changed{false};   // set by the system's callback thread

    ~Impl()
    {
        if (notification != nullptr) {
            unregister(notification);   // waits for a callback under way
        }
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    void Register()
    {
        module = LoadLibraryA("cfgmgr32.dll");
        if (module == nullptr) {
            return;
        }
        const auto registerFn =
            reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "CM_Register_Notification")));
        unregister =
            reinterpret_cast<UnregisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "CM_Unregister_Notification")));
        if (registerFn == nullptr || unregister == nullptr) {
            return;
        }
        CM_NOTIFY_FILTER filter = {};
        filter.cbSize = sizeof filter;
        filter.Flags = CM_NOTIFY_FILTER_FLAG_ALL_INTERFACE_CLASSES;
        filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
        if (registerFn(&filter, &changed, OnDeviceEvent, &notification) != CR_SUCCESS) {
            notification = nullptr;
        }
    }
};

CDeviceWatch::CDeviceWatch(const std::vector<std::string>&) : m_impl(std::make_unique<Impl>())
{
    m_impl->Register();
}

CDeviceWatch::~CDeviceWatch() = default;

void CDeviceWatch::Follow(const std::vector<std::string>&) {}

bool CDeviceWatch::TakeChange()
{
    return m_impl->changed.exchange(false);
}

bool CDeviceWatch::Watching() const
{
    return m_impl->notification != nullptr;
}
