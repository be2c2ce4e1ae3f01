// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <csignal>
#include <pthread.h>

#include "device/libusb_owners.h"
#include "device/usb_calculator_check.h"

namespace {

constexpr int kInterface = 0;

bool IsBulk(const libusb_endpoint_descriptor& endpoint)
{
    return (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
}

bool IsIn(const libusb_endpoint_descriptor& endpoint)
{
    return (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
}

// Holds the program's stop signals for the length of one bulk transfer. The
// stop handlers only set flags that the waiter reads between slices, so a
// stop waits at most one slice; a signal that lands inside libusb's event
// handling could otherwise turn an interrupted usbfs call into a failed
// transfer and a link reported lost although the calculator is still there.
class CStopSignalsHeld {
public:
    CStopSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGQUIT, SIGWINCH}) {
            sigaddset(&held, signal);
        }
        pthread_sigmask(SIG_BLOCK, &held, &m_before);
    }
    ~CStopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    CStopSignalsHeld(const CStopSignalsHeld&) = delete;
    CStopSignalsHeld& operator=(const CStopSignalsHeld&) = delete;

private:
    sigset_t m_before{};
};

}  // namespace

uint32_t UsbErrorToErrno(int usbError)
{
    switch (usbError) {
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_INTERRUPTED: return EINTR;
    default: return EIO;
    }
}

std::unique_ptr<CUsbTransport> CUsbTransport::Open(uint8_t bus, uint8_t address)
{
    std::unique_ptr<CUsbTransport> transport(new CUsbTransport());
    if (libusb_init(&transport->m_context) != 0) {
        transport->m_context = nullptr;
        return nullptr;
    }
    if (!transport->OpenDevice(bus, address) || !transport->FindBulkEndpoints() ||
        !transport->ClaimInterface()) {
        const int error = transport->m_notCalculator ? EPROTONOSUPPORT : errno;
        transport.reset();   // libusb's clean-up may set errno of its own
        errno = error;
        return nullptr;
    }
    return transport;
}

CUsbTransport::~CUsbTransport()
{
    if (m_claimed) {
        libusb_release_interface(m_handle, kInterface);
    }
    if (m_reattachDriver) {
        libusb_attach_kernel_driver(m_handle, kInterface);
    }
    if (m_handle != nullptr) {
        libusb_close(m_handle);
    }
    if (m_context != nullptr) {
        libusb_exit(m_context);
    }
}

bool CUsbTransport::OpenDevice(uint8_t bus, uint8_t address)
{
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(m_context, &raw);
    if (count < 0) {
        return false;
    }
    LibusbDeviceList list(raw);
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(raw[i]) == bus && libusb_get_device_address(raw[i]) == address) {
            // Nothing but a calculator is opened: a driver detached from a
            // storage device, or a packet written to it, could cost its data.
            if (!IsCalculatorLink(raw[i])) {
                m_notCalculator = true;
                return false;
            }
            return libusb_open(raw[i], &m_handle) == 0;
        }
    }
    return false;
}

bool CUsbTransport::FindBulkEndpoints()
{
    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_active_config_descriptor(libusb_get_device(m_handle), &raw) != 0) {
        return false;
    }
    LibusbConfig config(raw);
    if (config->bNumInterfaces < 1 || config->interface[0].num_altsetting < 1) {
        return false;
    }
    const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
    for (int i = 0; i < setting.bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[i];
        if (!IsBulk(endpoint)) {
            continue;
        }
        if (IsIn(endpoint) && m_endpointIn == 0) {
            m_endpointIn = endpoint.bEndpointAddress;
            m_in.Allocate(endpoint.wMaxPacketSize);
        } else if (!IsIn(endpoint) && m_endpointOut == 0) {
            m_endpointOut = endpoint.bEndpointAddress;
        }
    }
    if (m_endpointIn == 0 || m_endpointOut == 0) {
        return false;
    }
    return true;
}

bool CUsbTransport::ClaimInterface()
{
    if (libusb_kernel_driver_active(m_handle, kInterface) == 1) {
        if (libusb_detach_kernel_driver(m_handle, kInterface) != 0) {
            return false;
        }
        m_reattachDriver = true;
    }
    m_claimed = libusb_claim_interface(m_handle, kInterface) == 0;
    return m_claimed;
}

TransportWrite CUsbTransport::WriteSome(const uint8_t* data, uint32_t length, int waitMs)
{
    int sent = 0;
    const CStopSignalsHeld held;
    // libusb does not write through a const pointer; the bytes stay untouched.
    const int result = libusb_bulk_transfer(m_handle, m_endpointOut, const_cast<uint8_t*>(data),
                                            static_cast<int>(length), &sent,
                                            static_cast<unsigned>(waitMs < 1 ? 1 : waitMs));
    const auto taken = static_cast<uint32_t>(std::clamp(sent, 0, static_cast<int>(length)));
    if (result == 0) {
        return {TransportWrite::Sent, taken, 0};
    }
    if (result == LIBUSB_ERROR_TIMEOUT || result == LIBUSB_ERROR_INTERRUPTED) {
        return {taken > 0 ? TransportWrite::Sent : TransportWrite::Idle, taken, 0};
    }
    return {TransportWrite::Failed, taken, Failure(result, m_endpointOut)};
}

TransportRead CUsbTransport::ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs)
{
    if (!m_in.Waiting()) {
        uint8_t* room = m_in.Room();
        int got = 0;
        const CStopSignalsHeld held;
        const int result = libusb_bulk_transfer(m_handle, m_endpointIn, room, static_cast<int>(m_in.Size()), &got,
                                                static_cast<unsigned>(waitMs < 1 ? 1 : waitMs));
        // A transfer that timed out after some bytes still delivered them.
        m_in.Filled(static_cast<uint32_t>(std::max(got, 0)));
        if (result != 0 && !m_in.Waiting()) {
            if (result == LIBUSB_ERROR_TIMEOUT || result == LIBUSB_ERROR_INTERRUPTED) {
                return {};
            }
            return {TransportRead::Failed, 0, Failure(result, m_endpointIn)};
        }
    }
    return m_in.HandOut(buffer, capacity);
}

// The errno for a failed transfer. A stalled endpoint is cleared at once, so
// that the device can be talked to again in the next session.
uint32_t CUsbTransport::Failure(int usbError, uint8_t endpoint)
{
    if (usbError == LIBUSB_ERROR_PIPE) {
        libusb_clear_halt(m_handle, endpoint);
    }
    return UsbErrorToErrno(usbError);
}
