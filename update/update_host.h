#pragma once
// What an update run sees of the application object: the claimed-device list
// and the active front end. The application object derives from it.
#include <memory>

#include "device/claimed_device_list.h"
#include "device/usb_channel.h"

class IFrontEnd;

class CUpdateHost : public CClaimedDeviceList {
public:
    explicit CUpdateHost(IFrontEnd* frontEnd = nullptr) : m_frontEnd(frontEnd) {}
    virtual ~CUpdateHost() = default;

    IFrontEnd& FrontEnd() const { return *m_frontEnd; }
    void SetFrontEnd(IFrontEnd* frontEnd) { m_frontEnd = frontEnd; }

    // The channel object of a new update run (tests and fuzzing put their
    // own calculator behind it).
    virtual std::unique_ptr<CUsbChannel> NewChannel() { return std::make_unique<CUsbChannel>(); }

private:
    IFrontEnd* m_frontEnd;
};
