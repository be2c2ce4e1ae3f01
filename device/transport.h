// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device underneath a CUsbChannel: a file descriptor (tty, pty,
// socket) or a USB device reached through libusb; on Windows an overlapped
// file handle (COM port, USB device interface). A transport moves bytes and
// reports failures as errno values (on Windows translated from the
// system's error codes); the channel turns
// them into channel statuses.
#include <cstdint>
#include <memory>

#include "i18n/message.h"

struct TransportRead {
    enum Kind { Received, Idle, Failed };
    Kind kind = Idle;
    uint32_t count = 0;   // bytes stored (Received)
    uint32_t error = 0;   // errno value (Failed)
};

struct TransportWrite {
    enum Kind { Sent, Idle, Failed };
    Kind kind = Idle;
    uint32_t count = 0;   // bytes the device took (Sent; also Idle and Failed, when some went before)
    uint32_t error = 0;   // errno value (Failed)
};

class CTransport {
public:
    virtual ~CTransport() = default;

    // Waits at most `waitMs` (at least 1) for the device to take bytes, then
    // hands it as many of the `length` bytes as it takes at once. Idle when
    // it took none in time; the caller offers the rest again.
    virtual TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) = 0;

    // Waits at most `waitMs` (at least 1) for the device to deliver, then
    // stores up to `capacity` bytes. Idle when nothing arrived in time; no
    // byte is ever consumed without being stored.
    virtual TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) = 0;

    // Whether the device has delivered bytes that nobody has read yet,
    // asked without waiting.
    virtual bool InputWaiting() = 0;

    // True when the last read was given more room than the device had bytes
    // for (it took all there were) and nothing has been written since: until
    // more comes, InputWaiting would say no. False when that is not known.
    // Asked without a system call.
    virtual bool EmptiedByLastRead() const { return false; }
};

// Why a device path gave no transport: the device could not be opened, or
// the events its I/O waits on could not be made (Windows).
enum class OpenFailure { Device, Event };

// Opens the transport a device path names: on Linux "usb:BUS:ADDRESS"
// through libusb and anything else as a file; on Windows any path through an
// overlapped file handle. Null when the device cannot be opened, with errno
// telling why and `failure` what failed.
std::unique_ptr<CTransport> OpenDeviceTransport(const char* devicePath, OpenFailure& failure);

// What a user does when this platform refuses a device for lack of
// permission, in the platform's own terms; a clause that follows "; ".
const char* PermissionRemedy();

// What a user does when the device named is not there (ENOENT), in the
// platform's own terms; a clause that follows "; ", or null where the
// system's own words say enough.
const char* MissingDeviceRemedy();

// Why a USB calculator cannot be driven where its driver interface is
// missing or does not work (ENOSYS from an open), and what to do.
const char* NoDriverReason();

// What the device at `devicePath` is, which the open refused as no
// calculator (EPROTONOSUPPORT): "a storage device (interface class 08)".
Message NotACalculator(const char* devicePath);
