// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/win_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/win_error.h"

namespace {

CWinHandle NewManualResetEvent()
{
    return CWinHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

TransportRead FailedWith(DWORD windowsError)
{
    TransportRead result;
    result.kind = TransportRead::Failed;
    result.error = ErrnoFromWindowsError(windowsError);
    if (result.error == 0) {
        result.error = EIO;
    }
    return result;
}

}  // namespace

CWinTransport::CWinTransport(CWinHandle device, CWinHandle readEvent, CWinHandle writeEvent)
    : m_device(std::move(device)), m_readEvent(std::move(readEvent)), m_writeEvent(std::move(writeEvent))
{
}

CWinTransport::~CWinTransport()
{
    if (m_readPending) {
        // The pending read writes into m_in: it must be over before m_in goes.
        CancelIoEx(m_device.Get(), &m_readOverlapped);
        DWORD ignored = 0;
        GetOverlappedResult(m_device.Get(), &m_readOverlapped, &ignored, TRUE);
    }
}

std::unique_ptr<CWinTransport> CWinTransport::OpenPath(const char* path, OpenFailure& failure)
{
    failure = OpenFailure::Device;
    CWinHandle device(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.IsValid()) {
        errno = static_cast<int>(ErrnoFromWindowsError(GetLastError()));
        return nullptr;
    }
    // A file on a disk is not a calculator: it is never written.
    if (GetFileType(device.Get()) == FILE_TYPE_DISK) {
        errno = ENODEV;
        return nullptr;
    }
    DCB state = {};
    state.DCBlength = sizeof state;
    if (GetCommState(device.Get(), &state) && !MakeRawComPort(device.Get())) {
        errno = static_cast<int>(ErrnoFromWindowsError(GetLastError()));
        return nullptr;
    }
    CWinHandle readEvent = NewManualResetEvent();
    CWinHandle writeEvent = NewManualResetEvent();
    if (!readEvent.IsValid() || !writeEvent.IsValid()) {
        failure = OpenFailure::Event;
        errno = ENOMEM;
        return nullptr;
    }
    return std::unique_ptr<CWinTransport>(
        new CWinTransport(std::move(device), std::move(readEvent), std::move(writeEvent)));
}

std::unique_ptr<CWinTransport> CWinTransport::Adopt(HANDLE device)
{
    CWinHandle owned(device);
    CWinHandle readEvent = NewManualResetEvent();
    CWinHandle writeEvent = NewManualResetEvent();
    if (!owned.IsValid() || !readEvent.IsValid() || !writeEvent.IsValid()) {
        return nullptr;
    }
    return std::unique_ptr<CWinTransport>(
        new CWinTransport(std::move(owned), std::move(readEvent), std::move(writeEvent)));
}

// 8 data bits, no parity, one stop bit, no flow control, nothing replaced or
// dropped. A read returns once bytes have come and the line has been quiet
// for kComIntervalMs; with nothing come it stays pending (the channel waits
// on it in slices).
bool CWinTransport::MakeRawComPort(HANDLE device)
{
    DCB state = {};
    state.DCBlength = sizeof state;
    if (!GetCommState(device, &state)) {
        return false;
    }
    state.fBinary = TRUE;
    state.fParity = FALSE;
    state.Parity = NOPARITY;
    state.ByteSize = 8;
    state.StopBits = ONESTOPBIT;
    state.fOutxCtsFlow = FALSE;
    state.fOutxDsrFlow = FALSE;
    state.fDtrControl = DTR_CONTROL_ENABLE;
    state.fDsrSensitivity = FALSE;
    state.fOutX = FALSE;
    state.fInX = FALSE;
    state.fErrorChar = FALSE;
    state.fNull = FALSE;
    state.fRtsControl = RTS_CONTROL_ENABLE;
    state.fAbortOnError = FALSE;
    if (!SetCommState(device, &state)) {
        return false;
    }
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = kComIntervalMs;
    return SetCommTimeouts(device, &timeouts) != 0;
}

TransportWrite CWinTransport::WriteSome(const uint8_t* data, uint32_t length, int waitMs)
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_writeEvent.Get();
    ResetEvent(m_writeEvent.Get());
    DWORD done = 0;
    if (!WriteFile(m_device.Get(), data, length, &done, &overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return {TransportWrite::Failed, 0, ErrnoFromWindowsError(error)};
        }
        if (WaitForSingleObject(m_writeEvent.Get(), static_cast<DWORD>(std::max(waitMs, 1))) != WAIT_OBJECT_0) {
            // Not finished in time: the request goes, and what it took counts.
            CancelIoEx(m_device.Get(), &overlapped);
        }
        if (!GetOverlappedResult(m_device.Get(), &overlapped, &done, TRUE)) {
            const DWORD failure = GetLastError();
            if (failure != ERROR_OPERATION_ABORTED) {
                return {TransportWrite::Failed, done, ErrnoFromWindowsError(failure)};
            }
        }
    } else if (done == 0) {
        Sleep(static_cast<DWORD>(std::max(waitMs, 1)));   // took nothing at once: never spin on it
    }
    return {done > 0 ? TransportWrite::Sent : TransportWrite::Idle, done, 0};
}

bool CWinTransport::InputWaiting()
{
    return m_inTaken < m_inHeld || (m_readPending && WaitForSingleObject(m_readEvent.Get(), 0) == WAIT_OBJECT_0);
}

TransportRead CWinTransport::ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs)
{
    if (m_inTaken < m_inHeld) {
        return HandOut(buffer, capacity);
    }
    DWORD got = 0;
    if (!m_readPending) {
        m_readOverlapped = {};
        m_readOverlapped.hEvent = m_readEvent.Get();
        ResetEvent(m_readEvent.Get());
        if (ReadFile(m_device.Get(), m_in, sizeof m_in, &got, &m_readOverlapped)) {
            m_inHeld = got;
            m_inTaken = 0;
            if (got == 0) {
                // Nothing came within the port's own timeouts: an empty slice.
                Sleep(static_cast<DWORD>(std::max(waitMs, 1)));
                return TransportRead{};
            }
            return HandOut(buffer, capacity);
        }
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return FailedWith(error);
        }
        m_readPending = true;
    }
    const DWORD waited = WaitForSingleObject(m_readEvent.Get(), static_cast<DWORD>(std::max(waitMs, 1)));
    if (waited == WAIT_TIMEOUT) {
        return TransportRead{};
    }
    if (waited != WAIT_OBJECT_0) {
        return FailedWith(GetLastError());
    }
    m_readPending = false;
    if (!GetOverlappedResult(m_device.Get(), &m_readOverlapped, &got, FALSE)) {
        return FailedWith(GetLastError());
    }
    m_inHeld = got;
    m_inTaken = 0;
    if (got == 0) {
        return TransportRead{};
    }
    return HandOut(buffer, capacity);
}

TransportRead CWinTransport::HandOut(uint8_t* buffer, uint32_t capacity)
{
    const uint32_t n = std::min(capacity, m_inHeld - m_inTaken);
    std::memcpy(buffer, m_in + m_inTaken, n);
    m_inTaken += n;
    if (m_inTaken == m_inHeld) {
        m_inHeld = 0;
        m_inTaken = 0;
    }
    TransportRead result;
    result.kind = TransportRead::Received;
    result.count = n;
    return result;
}
