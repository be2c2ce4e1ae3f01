// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A calculator on the USB bus, reached through libusb: interface 0, its first
// bulk OUT and bulk IN endpoints. Bulk IN is read in whole packets of the
// endpoint (a device may send up to wMaxPacketSize bytes in any packet, and a
// read that cannot hold a packet fails with an overflow), into a buffer of
// the transport's own from which ReadSome serves any capacity.
#include <cstdint>
#include <memory>

#include "device/transport.h"
#include "device/usb_read_ahead.h"

struct libusb_context;
struct libusb_device_handle;

class CUsbTransport : public CTransport {
public:
    // Finds the device at bus/address, detaches a bound kernel driver and
    // claims interface 0. Null when any step fails, with errno
    // EPROTONOSUPPORT when the device is not a calculator
    // (device/usb_calculator_check.h): then it was not even opened. The destructor releases
    // the interface and gives a detached driver back.
    static std::unique_ptr<CUsbTransport> Open(uint8_t bus, uint8_t address);

    ~CUsbTransport() override;
    CUsbTransport(const CUsbTransport&) = delete;
    CUsbTransport& operator=(const CUsbTransport&) = delete;

    // A bulk OUT transfer limited to `waitMs`: a device that NAKs ends it
    // with what it took, and the channel offers the rest again.
    TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) override;
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override;
    // Bytes read ahead and not yet handed out (the bus itself is not asked:
    // that would cost a transfer per packet sent).
    bool InputWaiting() override { return m_in.Waiting(); }

private:
    CUsbTransport() = default;
    bool OpenDevice(uint8_t bus, uint8_t address);
    bool FindBulkEndpoints();
    bool ClaimInterface();
    uint32_t Failure(int usbError, uint8_t endpoint);

    libusb_context* m_context = nullptr;
    libusb_device_handle* m_handle = nullptr;
    uint8_t m_endpointOut = 0;
    uint8_t m_endpointIn = 0;
    CUsbReadAhead m_in;   // bulk IN data read ahead
    bool m_claimed = false;
    bool m_reattachDriver = false;   // a kernel driver was detached for the session
    bool m_notCalculator = false;    // the device failed the calculator test
};

// The errno value that stands for a libusb error code.
uint32_t UsbErrorToErrno(int usbError);


