#pragma once
// The device underneath a CUsbChannel: a file descriptor (tty, pty,
// socket) or a USB device reached through libusb. A transport moves bytes and
// reports failures as system error codes (errno values); the channel turns
// them into channel statuses.
#include <cstdint>
#include <memory>

struct TransportRead {
    enum Kind { Received, Idle, Failed };
    Kind kind = Idle;
    uint32_t count = 0;   // bytes stored (Received)
    uint32_t error = 0;   // errno value (Failed)
};

class CTransport {
public:
    virtual ~CTransport() = default;

    // Writes all `length` bytes, waiting as long as the device needs.
    // Returns 0, or the errno value of the failure; `written` tells how many
    // bytes left before it.
    virtual uint32_t WriteAll(const uint8_t* data, uint32_t length, uint32_t& written) = 0;

    // Waits at most `waitMs` (at least 1) for the device to deliver, then
    // stores up to `capacity` bytes. Idle when nothing arrived in time; no
    // byte is ever consumed without being stored.
    virtual TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) = 0;
};

// Opens the transport a device path names: "usb:BUS:ADDRESS" through libusb,
// anything else as a file. Null when the device cannot be opened.
std::unique_ptr<CTransport> OpenDeviceTransport(const char* devicePath);
