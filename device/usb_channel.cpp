// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/usb_channel.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <thread>

#include "device/transport.h"

namespace {

// Milliseconds of a monotonic clock as a wrapping 32-bit tick: differences
// are unsigned subtractions, so the wrap is harmless.
uint32_t TickNow()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Milliseconds left before `limitMs` counted from `since` is passed (strictly).
uint32_t LeftBefore(uint32_t since, uint32_t limitMs, uint32_t now)
{
    const uint32_t elapsed = now - since;
    return elapsed > limitMs ? 0 : limitMs - elapsed + 1;
}

}  // namespace

int DefaultPump(uint32_t)
{
    return 1;
}

CUsbChannel::CUsbChannel() : m_pump(DefaultPump) {}

CUsbChannel::CUsbChannel(TransportOpener opener) : m_pump(DefaultPump), m_opener(std::move(opener)) {}

CUsbChannel::~CUsbChannel()
{
    Close();
}

int CUsbChannel::Open(const char* devicePath)
{
    if (IsOpen()) {
        return AlreadyOpen;
    }
    errno = 0;
    OpenFailure failure = OpenFailure::Device;
    std::unique_ptr<CTransport> transport =
        m_opener ? m_opener(devicePath, failure) : OpenDeviceTransport(devicePath, failure);
    if (transport == nullptr) {
        m_lastError = errno != 0 ? static_cast<uint32_t>(errno) : ENODEV;   // why, for the run's reason
        if (failure == OpenFailure::Event) {
            // The device was open and is closed again: it settles as after Close.
            std::this_thread::sleep_for(std::chrono::milliseconds(m_closePauseMs));
            return EventFailed;
        }
        return OpenFailed;
    }
    m_trace.SetDevice(devicePath);   // every line of the trace names the device
    return OpenOn(std::move(transport));
}

int CUsbChannel::OpenOn(std::unique_ptr<CTransport> transport)
{
    if (IsOpen()) {
        return AlreadyOpen;
    }
    if (transport == nullptr) {
        return OpenFailed;
    }
    m_transport = std::move(transport);
    m_requestTick = TickNow();
    m_trace.Start();
    std::memset(m_rxBuf, 0, sizeof m_rxBuf);
    m_rxHeld = 0;
    m_rxTaken = 0;
    return ChannelOk;
}

int CUsbChannel::Close()
{
    if (!IsOpen()) {
        return NotOpen;
    }
    m_transport.reset();
    // The trace's last lines are made while the device settles.
    const uint32_t closed = TickNow();
    m_trace.Stop();
    const uint32_t spent = TickNow() - closed;
    const int result = m_lastError != 0 ? IoError : ChannelOk;
    std::this_thread::sleep_for(std::chrono::milliseconds(m_closePauseMs - std::min(spent, m_closePauseMs)));
    return result;
}

PumpCallback CUsbChannel::SetPump(PumpCallback pump, uint32_t data)
{
    const PumpCallback previous = m_pump;
    m_pump = pump != nullptr ? pump : DefaultPump;
    m_pumpData = data;
    return previous;
}

int CUsbChannel::ReadTimed(uint8_t* buffer, uint32_t length, uint32_t overallTimeoutMs,
                           uint32_t interCharTimeoutMs)
{
    m_overallTimeoutMs = overallTimeoutMs;
    m_interCharTimeoutMs = interCharTimeoutMs;
    uint32_t count = 0;
    return Read(buffer, length, count);
}

int CUsbChannel::WritePumped(const uint8_t* buffer, uint32_t length)
{
    const uint32_t data = m_pumpData;
    const PumpCallback pump = SetPump(nullptr, 0);
    const int status = Write(buffer, length);
    SetPump(pump, data);
    if (status != ChannelOk) {
        return status;
    }
    return m_pump(m_pumpData) == 0 ? PumpStopped : ChannelOk;
}

int CUsbChannel::Write(const uint8_t* buffer, uint32_t length)
{
    m_lastError = 0;
    if (!IsOpen()) {
        m_lastError = EBADF;
        return IoError;
    }
    m_requestTick = TickNow();
    uint32_t written = 0;
    int status = ChannelOk;
    while (written < length) {
        const TransportWrite put = m_transport->WriteSome(buffer + written, length - written, kPumpSliceMs);
        written += std::min(put.count, length - written);
        if (put.kind == TransportWrite::Failed) {
            m_lastError = put.error != 0 ? put.error : EIO;
            status = IoError;
            break;
        }
        if (put.kind == TransportWrite::Idle && !ServeWrite(TickNow())) {
            status = PumpStopped;
            break;
        }
    }
    m_trace.Record(CChannelTrace::kWritten, buffer, written);
    return status;
}

bool CUsbChannel::InputWaiting()
{
    return IsOpen() && (m_rxTaken < m_rxHeld || m_transport->InputWaiting());
}

bool CUsbChannel::InputWaitingAfterReply()
{
    return IsOpen() && (m_rxTaken < m_rxHeld || (!m_transport->EmptiedByLastRead() && m_transport->InputWaiting()));
}

uint32_t CUsbChannel::TakeWaiting(uint8_t* buffer, uint32_t capacity)
{
    uint32_t taken = TakeHeld(buffer, capacity);
    if (taken == 0 && IsOpen() && m_transport->InputWaiting()) {
        const TransportRead got = m_transport->ReadSome(buffer, capacity, 1);
        if (got.kind == TransportRead::Received) {
            taken = std::min(got.count, capacity);
            m_trace.Record(CChannelTrace::kRead, buffer, taken);
        }
    }
    return taken;
}

int CUsbChannel::Read(uint8_t* buffer, uint32_t length, uint32_t& count)
{
    m_lastError = 0;
    count = 0;
    const uint32_t start = TickNow();
    ReadClock clock = {start, start};
    if (!Serve(start)) {
        return PumpStopped;
    }
    for (;;) {
        count += TakeHeld(buffer + count, length - count);
        if (count == length) {
            return ChannelOk;
        }
        const int status = ReceiveIntoRxBuf(clock, count);
        if (status != ChannelOk) {
            return status;
        }
        const uint32_t now = TickNow();
        if (LimitPassed(clock, count, now)) {
            return TimedOut;
        }
        if (m_interCharTimeoutMs != 0 && count != 0) {
            clock.interChar = now;
        }
        if (!Serve(now)) {
            return PumpStopped;
        }
    }
}

bool CUsbChannel::Serve(uint32_t now)
{
    if (m_pump(m_pumpData) == 0) {
        return false;
    }
    return m_waiter == nullptr || m_waiter->KeepWaiting(ChannelWait{now - m_requestTick, false});
}

bool CUsbChannel::ServeWrite(uint32_t now)
{
    return m_waiter == nullptr || m_waiter->KeepWaiting(ChannelWait{now - m_requestTick, true});
}

uint32_t CUsbChannel::TakeHeld(uint8_t* destination, uint32_t wanted)
{
    const uint32_t held = m_rxHeld - m_rxTaken;
    const uint32_t n = held < wanted ? held : wanted;
    if (n == 0) {
        return 0;
    }
    std::memcpy(destination, m_rxBuf + m_rxTaken, n);
    m_rxTaken += n;
    if (m_rxTaken == m_rxHeld) {
        std::memset(m_rxBuf, 0, sizeof m_rxBuf);
        m_rxHeld = 0;
        m_rxTaken = 0;
    }
    return n;
}

// One device read into the drained m_rxBuf. The wait goes in slices: after
// each empty slice the limits are checked and the user interface is served.
int CUsbChannel::ReceiveIntoRxBuf(ReadClock& clock, uint32_t count)
{
    if (!IsOpen()) {
        m_lastError = EBADF;
        return IoError;
    }
    for (;;) {
        const TransportRead got = m_transport->ReadSome(m_rxBuf, kRxBufSize, WaitSliceMs(clock, count, TickNow()));
        if (got.kind == TransportRead::Received) {
            m_rxHeld = got.count;
            m_rxTaken = 0;
            if (got.count != 0) {
                m_trace.Record(CChannelTrace::kRead, m_rxBuf, got.count);
            }
            return ChannelOk;
        }
        if (got.kind == TransportRead::Failed) {
            m_lastError = got.error != 0 ? got.error : EIO;
            return IoError;
        }
        const uint32_t now = TickNow();
        if (LimitPassed(clock, count, now)) {
            return TimedOut;
        }
        if (!Serve(now)) {
            return PumpStopped;
        }
    }
}

// Both limits are strict: only an elapsed time greater than the limit counts.
// The inter-character limit applies once bytes have been handed over.
bool CUsbChannel::LimitPassed(const ReadClock& clock, uint32_t count, uint32_t now) const
{
    if (m_overallTimeoutMs != 0 && now - clock.start > m_overallTimeoutMs) {
        return true;
    }
    return m_interCharTimeoutMs != 0 && count != 0 && now - clock.interChar > m_interCharTimeoutMs;
}

int CUsbChannel::WaitSliceMs(const ReadClock& clock, uint32_t count, uint32_t now) const
{
    uint32_t slice = kPumpSliceMs;
    if (m_overallTimeoutMs != 0) {
        slice = std::min(slice, LeftBefore(clock.start, m_overallTimeoutMs, now));
    }
    if (m_interCharTimeoutMs != 0 && count != 0) {
        slice = std::min(slice, LeftBefore(clock.interChar, m_interCharTimeoutMs, now));
    }
    return static_cast<int>(slice < 1 ? 1 : slice);
}
