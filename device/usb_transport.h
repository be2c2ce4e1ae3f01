#pragma once
// A calculator on the USB bus, reached through libusb: interface 0, its first
// bulk OUT and bulk IN endpoints.
#include <cstdint>
#include <memory>

#include "device/transport.h"

struct libusb_context;
struct libusb_device_handle;

class CUsbTransport : public CTransport {
public:
    // Finds the device at bus/address, detaches a bound kernel driver and
    // claims interface 0. Null when any step fails.
    static std::unique_ptr<CUsbTransport> Open(uint8_t bus, uint8_t address);

    ~CUsbTransport() override;
    CUsbTransport(const CUsbTransport&) = delete;
    CUsbTransport& operator=(const CUsbTransport&) = delete;

    uint32_t WriteAll(const uint8_t* data, uint32_t length, uint32_t& written) override;
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override;

private:
    CUsbTransport() = default;
    bool OpenDevice(uint8_t bus, uint8_t address);
    bool FindBulkEndpoints();
    bool ClaimInterface();

    libusb_context* m_context = nullptr;
    libusb_device_handle* m_handle = nullptr;
    uint8_t m_endpointOut = 0;
    uint8_t m_endpointIn = 0;
    bool m_claimed = false;
    bool m_reattachDriver = false;   // a kernel driver was detached for the session
};

// The errno value that stands for a libusb error code.
uint32_t UsbErrorToErrno(int usbError);
