// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/winusb_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/win_error.h"

namespace {

template <class F>
void Load(HMODULE module, const char* name, F& function)
{
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Wine's winusb.dll exports WinUsb_* as stubs that end the process when
// called: under wine WinUSB does not work, whatever GetProcAddress says.
bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsGone(DWORD error)
{
    return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BAD_COMMAND || error == ERROR_FILE_NOT_FOUND ||
           error == ERROR_DEV_NOT_EXIST;
}

}  // namespace

bool WinUsbApi::Complete() const
{
    return initialize != nullptr && free != nullptr && queryInterfaceSettings != nullptr && queryPipe != nullptr &&
           setPipePolicy != nullptr && readPipe != nullptr && writePipe != nullptr && resetPipe != nullptr;
}

bool IsUsbInterfacePath(const char* path)
{
    static constexpr char kPrefix[] = "\\\\?\\usb#";
    return path != nullptr && _strnicmp(path, kPrefix, sizeof kPrefix - 1) == 0;
}

std::unique_ptr<CWinUsbTransport> CWinUsbTransport::OpenPath(const char* path)
{
    HMODULE module = UnderWine() ? nullptr : LoadLibraryA("winusb.dll");
    WinUsbApi api;
    if (module != nullptr) {
        Load(module, "WinUsb_Initialize", api.initialize);
        Load(module, "WinUsb_Free", api.free);
        Load(module, "WinUsb_QueryInterfaceSettings", api.queryInterfaceSettings);
        Load(module, "WinUsb_QueryPipe", api.queryPipe);
        Load(module, "WinUsb_SetPipePolicy", api.setPipePolicy);
        Load(module, "WinUsb_ReadPipe", api.readPipe);
        Load(module, "WinUsb_WritePipe", api.writePipe);
        Load(module, "WinUsb_ResetPipe", api.resetPipe);
    }
    if (!api.Complete()) {
        if (module != nullptr) {
            FreeLibrary(module);
        }
        errno = ENOSYS;
        return nullptr;
    }
    CWinHandle device(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.IsValid()) {
        errno = static_cast<int>(ErrnoFromWindowsError(GetLastError()));
        FreeLibrary(module);
        return nullptr;
    }
    return Adopt(std::move(device), api, module);
}

std::unique_ptr<CWinUsbTransport> CWinUsbTransport::Adopt(CWinHandle device, const WinUsbApi& api, HMODULE module)
{
    std::unique_ptr<CWinUsbTransport> transport(new CWinUsbTransport(std::move(device), api, module));
    if (!api.initialize(transport->m_device.Get(), &transport->m_usb)) {
        transport->m_usb = nullptr;
        errno = ENOSYS;   // no WinUSB driver for the device, or a WinUSB that does not work
        return nullptr;
    }
    if (!transport->FindBulkPipes()) {
        errno = ENODEV;
        return nullptr;
    }
    return transport;
}

CWinUsbTransport::CWinUsbTransport(CWinHandle device, const WinUsbApi& api, HMODULE module)
    : m_api(api), m_module(module), m_device(std::move(device))
{
}

CWinUsbTransport::~CWinUsbTransport()
{
    if (m_usb != nullptr) {
        m_api.free(m_usb);
    }
    m_device.Reset();
    if (m_module != nullptr) {
        FreeLibrary(m_module);
    }
}

bool CWinUsbTransport::FindBulkPipes()
{
    USB_INTERFACE_DESCRIPTOR setting = {};
    if (!m_api.queryInterfaceSettings(m_usb, 0, &setting)) {
        return false;
    }
    for (UCHAR i = 0; i < setting.bNumEndpoints; ++i) {
        WINUSB_PIPE_INFORMATION pipe = {};
        if (!m_api.queryPipe(m_usb, 0, i, &pipe) || pipe.PipeType != UsbdPipeTypeBulk) {
            continue;
        }
        if (USB_ENDPOINT_DIRECTION_IN(pipe.PipeId) && m_pipeIn == 0) {
            m_pipeIn = pipe.PipeId;
            m_in.Allocate(pipe.MaximumPacketSize);
        } else if (USB_ENDPOINT_DIRECTION_OUT(pipe.PipeId) && m_pipeOut == 0) {
            m_pipeOut = pipe.PipeId;
        }
    }
    if (m_pipeIn == 0 || m_pipeOut == 0) {
        return false;
    }
    return true;
}

// Transfers on `pipe` end after `waitMs`; the policy is set only when it
// changes.
void CWinUsbTransport::LimitTransfers(UCHAR pipe, ULONG& current, int waitMs)
{
    ULONG wanted = static_cast<ULONG>(std::max(waitMs, 1));
    if (wanted != current && m_api.setPipePolicy(m_usb, pipe, PIPE_TRANSFER_TIMEOUT, sizeof wanted, &wanted)) {
        current = wanted;
    }
}

TransportWrite CWinUsbTransport::WriteSome(const uint8_t* data, uint32_t length, int waitMs)
{
    LimitTransfers(m_pipeOut, m_outTimeoutMs, waitMs);
    ULONG sent = 0;
    // WinUSB does not write through a const pointer; the bytes stay untouched.
    if (m_api.writePipe(m_usb, m_pipeOut, const_cast<PUCHAR>(data), length, &sent, nullptr)) {
        return {TransportWrite::Sent, std::min<uint32_t>(sent, length), 0};
    }
    const DWORD error = GetLastError();
    const uint32_t taken = std::min<uint32_t>(sent, length);
    if (error == ERROR_SEM_TIMEOUT) {
        return {taken > 0 ? TransportWrite::Sent : TransportWrite::Idle, taken, 0};
    }
    return {TransportWrite::Failed, taken, Failure(error, m_pipeOut)};
}

TransportRead CWinUsbTransport::ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs)
{
    if (!m_in.Waiting()) {
        uint8_t* room = m_in.Room();
        LimitTransfers(m_pipeIn, m_inTimeoutMs, waitMs);
        ULONG got = 0;
        const BOOL done = m_api.readPipe(m_usb, m_pipeIn, room, m_in.Size(), &got, nullptr);
        // A transfer that timed out after some bytes still delivered them.
        m_in.Filled(got);
        if (!done && !m_in.Waiting()) {
            const DWORD error = GetLastError();
            if (error == ERROR_SEM_TIMEOUT) {
                return {};
            }
            return {TransportRead::Failed, 0, Failure(error, m_pipeIn)};
        }
    }
    return m_in.HandOut(buffer, capacity);
}

// The errno for a failed transfer. A stalled pipe is reset at once, so that
// the device can be talked to again in the next session.
uint32_t CWinUsbTransport::Failure(DWORD error, UCHAR pipe)
{
    if (IsGone(error)) {
        return ENODEV;
    }
    if (error == ERROR_GEN_FAILURE) {
        m_api.resetPipe(m_usb, pipe);
        return EPIPE;
    }
    const uint32_t mapped = ErrnoFromWindowsError(error);
    return mapped != 0 ? mapped : EIO;
}
