// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte channel to one calculator: opens a device path, writes whole
// buffers, and reads exact byte counts through a 64-byte input buffer while
// keeping the user interface served through a pump callback.
#include <cstdint>
#include <functional>
#include <memory>

#include "device/channel_trace.h"
#include "protocol/packet_reader.h"

enum ChannelStatus : int {
    ChannelOk = 0,
    AlreadyOpen = 2,
    NotOpen = 3,
    OpenFailed = 4,
    IoError = 5,
    PumpStopped = 6,
    TimedOut = 7,
    EventFailed = 10,
};

// Called while reading; returning 0 asks the current operation to stop.
using PumpCallback = int (*)(uint32_t data);

// The pump installed by default: the channel itself has nothing to serve
// (whoever waits on the channel does that through its waiter); returns 1.
int DefaultPump(uint32_t data);

// A wait on the calculator as the channel sees it between its short waits.
struct ChannelWait {
    // How long the calculator has been waited for: from the start of the
    // last write (the request) until the reply is complete, or from the
    // start of the write that the calculator does not take. Bytes that
    // trickle in do not start it over.
    uint32_t waitedMs = 0;
    bool writing = false;   // the calculator is not taking what is written
};

// Whoever waits on the channel: asked between the channel's short waits for
// the calculator, in reads and writes alike, whether to go on waiting.
class IChannelWaiter {
public:
    virtual ~IChannelWaiter() = default;
    virtual bool KeepWaiting(const ChannelWait& wait) = 0;
};

class CTransport;                 // device/transport.h
enum class OpenFailure;           // device/transport.h

// Opens the transport a device path names; null with errno set and
// `failure` saying what failed (as OpenDeviceTransport does).
using TransportOpener = std::function<std::unique_ptr<CTransport>(const char* devicePath, OpenFailure& failure)>;

class CUsbChannel : public CPacketReader {
public:
    // Opens devices as this platform does.
    CUsbChannel();
    // Opens devices through `opener` instead (an in-memory calculator).
    explicit CUsbChannel(TransportOpener opener);
    ~CUsbChannel() override;
    CUsbChannel(const CUsbChannel&) = delete;
    CUsbChannel& operator=(const CUsbChannel&) = delete;

    int Open(const char* devicePath);
    int ReadTimed(uint8_t* buffer, uint32_t length, uint32_t overallTimeoutMs, uint32_t interCharTimeoutMs);
    int WritePumped(const uint8_t* buffer, uint32_t length);
    int Write(const uint8_t* buffer, uint32_t length);
    int Read(uint8_t* buffer, uint32_t length, uint32_t& count) override;

    int Close();
    PumpCallback SetPump(PumpCallback pump, uint32_t data);
    // Asked with the pump, at the same moments; false ends the read with
    // PumpStopped. Null: nobody waits but the pump.
    void SetWaiter(IChannelWaiter* waiter) { m_waiter = waiter; }

    // Opens the channel on a transport that is already open (a socket of a
    // socket pair, for instance); as Open otherwise: 2 when the channel is
    // open, 4 for a null transport.
    int OpenOn(std::unique_ptr<CTransport> transport);
    bool IsOpen() const { return m_transport != nullptr; }
    // Whether the calculator has sent bytes that no Read has taken yet,
    // asked without waiting.
    bool InputWaiting();
    // As InputWaiting, for the moment straight after a reply was read: when
    // that read took all the device had, only the bytes it held past the
    // reply count, and the device is not asked again (no system call).
    bool InputWaitingAfterReply();
    // Takes up to `capacity` of those bytes at once (for the user to see
    // what came); the count taken.
    uint32_t TakeWaiting(uint8_t* buffer, uint32_t capacity);
    // What the next session's trace header says, and where its last-run
    // copy goes (see TraceSubject); set before Open.
    void SetTraceSubject(const TraceSubject& subject) { m_trace.SetSubject(subject); }
    // Writes a line of words into the session's trace, if there is one.
    void TraceNote(const char* text) { m_trace.Note(text); }
    // Writes the session's ending into its trace (see CChannelTrace::End).
    void TraceEnd(const char* result, uint32_t blockSize, const std::string& reason)
    {
        m_trace.End(result, blockSize, reason);
    }
    // Why this session is not traced although ZENTRIX_TRACE is set (see
    // CChannelTrace::Failure); empty when it is traced or tracing is off.
    const Message& TraceFailure() const { return m_trace.Failure(); }
    // Why the trace stopped part-way through this session; empty while it works.
    const Message& TraceWriteFailure() const { return m_trace.WriteFailure(); }
    // The system's error code of the last failed open, read or write; 0: none.
    uint32_t LastError() const { return m_lastError; }

    static constexpr uint32_t kRxBufSize = 64;
    // A waiting device read or write gives the user interface a turn this often.
    static constexpr int kPumpSliceMs = 100;

    PumpCallback m_pump;
    uint32_t m_pumpData = 0;
    uint32_t m_lastError = 0;            // errno of the last failed open, device read or write
    uint32_t m_overallTimeoutMs = 0;     // longest time one Read may take; 0 = no limit
    uint32_t m_interCharTimeoutMs = 0;   // longest gap between device reads once data flows; 0 = no limit
    // Bytes of the last device read; 0 <= m_rxTaken <= m_rxHeld <= 64, and
    // once all are taken both go back to 0 and the buffer is cleared.
    uint8_t m_rxBuf[kRxBufSize] = {};
    uint32_t m_rxHeld = 0;
    uint32_t m_rxTaken = 0;
    // Pause after closing the device, so that it can settle before the next
    // session opens it. Tests shorten it.
    uint32_t m_closePauseMs = 500;

private:
    struct ReadClock {
        uint32_t start;       // tick at the start of the Read
        uint32_t interChar;   // tick of the last device read that followed handed-over bytes
    };

    // The pump and the waiter; false when either asks the read to stop.
    bool Serve(uint32_t now);
    // The waiter alone, between the slices of a write the calculator does
    // not take.
    bool ServeWrite(uint32_t now);

    uint32_t TakeHeld(uint8_t* destination, uint32_t wanted);
    int ReceiveIntoRxBuf(ReadClock& clock, uint32_t count);
    bool LimitPassed(const ReadClock& clock, uint32_t count, uint32_t now) const;
    int WaitSliceMs(const ReadClock& clock, uint32_t count, uint32_t now) const;

    TransportOpener m_opener;   // null: the platform's
    IChannelWaiter* m_waiter = nullptr;
    uint32_t m_requestTick = 0;   // start of the last write, or of the session
    std::unique_ptr<CTransport> m_transport;   // null while closed
    CChannelTrace m_trace;
};
