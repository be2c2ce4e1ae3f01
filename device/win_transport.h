// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A device reached through a Windows file handle opened for overlapped I/O:
// a COM port ("\\.\COMn", put in raw 8-bit mode), a USB device interface
// path, or a pipe. A device read waits on its event at most the slice it is
// given and stays pending across slices, so the channel can serve the user
// interface while the calculator is silent.
#include <windows.h>

#include <memory>

#include "device/transport.h"
#include "device/win_handle.h"

class CWinTransport : public CTransport {
public:
    // Opens `path` exclusively (share mode 0) for overlapped reading and
    // writing. A regular file is refused. Null on failure, with errno set and
    // `failure` telling whether the device or its I/O events failed.
    static std::unique_ptr<CWinTransport> OpenPath(const char* path, OpenFailure& failure);
    // Takes over a handle opened for overlapped I/O (a pipe end, for
    // instance). Null when the events cannot be made.
    static std::unique_ptr<CWinTransport> Adopt(HANDLE device);

    ~CWinTransport() override;
    CWinTransport(const CWinTransport&) = delete;
    CWinTransport& operator=(const CWinTransport&) = delete;

    // A write that the device has not finished within `waitMs` is cancelled;
    // what it took by then counts, and the channel offers the rest again.
    TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) override;
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override;
    bool InputWaiting() override;

    // Interval between two bytes after which a COM port read completes with
    // what it has: the port delivers a packet as soon as it stops coming.
    static constexpr DWORD kComIntervalMs = 2;

private:
    CWinTransport(CWinHandle device, CWinHandle readEvent, CWinHandle writeEvent);
    static bool MakeRawComPort(HANDLE device);
    TransportRead HandOut(uint8_t* buffer, uint32_t capacity);

    CWinHandle m_device;
    CWinHandle m_readEvent;    // manual reset, one per direction
    CWinHandle m_writeEvent;
    OVERLAPPED m_readOverlapped = {};
    bool m_readPending = false;   // m_in belongs to the system while true
    uint8_t m_in[64] = {};
    uint32_t m_inHeld = 0;
    uint32_t m_inTaken = 0;
};
