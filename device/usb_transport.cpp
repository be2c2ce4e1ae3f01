#include "device/usb_transport.h"

#include <libusb.h>

#include <cerrno>

namespace {

constexpr int kInterface = 0;

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
struct ConfigDeleter {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

bool IsBulk(const libusb_endpoint_descriptor& endpoint)
{
    return (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
}

bool IsIn(const libusb_endpoint_descriptor& endpoint)
{
    return (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
}

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
    std::unique_ptr<libusb_device*, DeviceListDeleter> list(raw);
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(raw[i]) == bus && libusb_get_device_address(raw[i]) == address) {
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
    std::unique_ptr<libusb_config_descriptor, ConfigDeleter> config(raw);
    if (config->bNumInterfaces < 1 || config->interface[0].num_altsetting < 1) {
        return false;
    }
    const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
    for (int i = 0; i < setting.bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[i];
        if (!IsBulk(endpoint)) {
            continue;
        }
        uint8_t& slot = IsIn(endpoint) ? m_endpointIn : m_endpointOut;
        if (slot == 0) {
            slot = endpoint.bEndpointAddress;
        }
    }
    return m_endpointIn != 0 && m_endpointOut != 0;
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

uint32_t CUsbTransport::WriteAll(const uint8_t* data, uint32_t length, uint32_t& written)
{
    written = 0;
    while (written < length) {
        int sent = 0;
        // libusb does not write through a const pointer; the bytes stay untouched.
        const int result = libusb_bulk_transfer(m_handle, m_endpointOut, const_cast<uint8_t*>(data + written),
                                                static_cast<int>(length - written), &sent, 0);
        written += static_cast<uint32_t>(sent > 0 ? sent : 0);
        if (result != 0) {
            return UsbErrorToErrno(result);
        }
    }
    return 0;
}

TransportRead CUsbTransport::ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs)
{
    int got = 0;
    const int result = libusb_bulk_transfer(m_handle, m_endpointIn, buffer, static_cast<int>(capacity), &got,
                                            static_cast<unsigned>(waitMs < 1 ? 1 : waitMs));
    if (result == 0 || got > 0) {
        // A transfer that timed out after some bytes still delivered them.
        return {TransportRead::Received, static_cast<uint32_t>(got), 0};
    }
    if (result == LIBUSB_ERROR_TIMEOUT || result == LIBUSB_ERROR_INTERRUPTED) {
        return {};
    }
    return {TransportRead::Failed, 0, UsbErrorToErrno(result)};
}
