// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A calculator on USB under Windows, driven through Microsoft's WinUSB: its
// device interface path opened with CreateFile, then WinUsb_Initialize, and
// the first bulk IN and bulk OUT pipes of its interface. Bulk IN is read in
// whole packets into a read-ahead buffer, as the libusb transport does;
// every transfer is limited to the slice it is given (the pipe's transfer
// timeout), and what a write that timed out did not take is offered again.
// A stalled pipe is reset; a device that is gone is a lost link.
// winusb.dll is loaded at run time: where it is missing or cannot drive the
// device (no WinUSB driver, or wine's stub), the open fails with ENOSYS.
#include <windows.h>
#include <winusb.h>

#include <memory>

#include "device/transport.h"
#include "device/usb_read_ahead.h"
#include "device/win_handle.h"

// The WinUSB functions the transport calls: winusb.dll's, or a test's.
struct WinUsbApi {
    decltype(&WinUsb_Initialize) initialize = nullptr;
    decltype(&WinUsb_Free) free = nullptr;
    decltype(&WinUsb_QueryInterfaceSettings) queryInterfaceSettings = nullptr;
    decltype(&WinUsb_QueryPipe) queryPipe = nullptr;
    decltype(&WinUsb_SetPipePolicy) setPipePolicy = nullptr;
    decltype(&WinUsb_ReadPipe) readPipe = nullptr;
    decltype(&WinUsb_WritePipe) writePipe = nullptr;
    decltype(&WinUsb_ResetPipe) resetPipe = nullptr;

    bool Complete() const;
};

// Whether `path` names a USB device interface ("\\?\usb#vid_...").
bool IsUsbInterfacePath(const char* path);

class CWinUsbTransport : public CTransport {
public:
    // Loads winusb.dll and opens the device interface at `path`. Null on
    // failure with errno set: ENOSYS when WinUSB is missing or cannot drive
    // the device.
    static std::unique_ptr<CWinUsbTransport> OpenPath(const char* path);
    // Drives `device` (which may be null for a test's functions) through
    // `api`; as OpenPath otherwise.
    static std::unique_ptr<CWinUsbTransport> Adopt(CWinHandle device, const WinUsbApi& api, HMODULE module = nullptr);

    ~CWinUsbTransport() override;
    CWinUsbTransport(const CWinUsbTransport&) = delete;
    CWinUsbTransport& operator=(const CWinUsbTransport&) = delete;

    TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) override;
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override;
    bool InputWaiting() override { return m_in.Waiting(); }

private:
    CWinUsbTransport(CWinHandle device, const WinUsbApi& api, HMODULE module);
    bool FindBulkPipes();
    void LimitTransfers(UCHAR pipe, ULONG& current, int waitMs);
    uint32_t Failure(DWORD error, UCHAR pipe);

    WinUsbApi m_api;
    HMODULE m_module;          // winusb.dll, freed last; null for a test's functions
    CWinHandle m_device;
    WINUSB_INTERFACE_HANDLE m_usb = nullptr;
    UCHAR m_pipeIn = 0;
    UCHAR m_pipeOut = 0;
    ULONG m_inTimeoutMs = 0;    // the pipes' transfer timeouts as last set
    ULONG m_outTimeoutMs = 0;
    CUsbReadAhead m_in;       // bulk IN data read ahead
};
