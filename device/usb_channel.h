#pragma once
// The byte channel to one calculator: opens a device path, writes whole
// buffers, and reads exact byte counts through a 64-byte input buffer while
// keeping the user interface served through a pump callback.
#include <cstdint>
#include <memory>

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

// Serves the process's user interface (see SetProcessPump); returns 1.
int DefaultPump(uint32_t data);
// Installs what DefaultPump runs: the active front end's event processing.
// Null means there is nothing to serve.
void SetProcessPump(void (*pump)());

class CTransport;   // device/transport.h

class CUsbChannel : public CPacketReader {
public:
    CUsbChannel();
    virtual ~CUsbChannel();
    CUsbChannel(const CUsbChannel&) = delete;
    CUsbChannel& operator=(const CUsbChannel&) = delete;

    virtual int Open(const char* devicePath);
    virtual int ReadTimed(uint8_t* buffer, uint32_t length, uint32_t overallTimeoutMs,
                          uint32_t interCharTimeoutMs);
    virtual int WritePumped(const uint8_t* buffer, uint32_t length);
    virtual int Write(const uint8_t* buffer, uint32_t length);
    int Read(uint8_t* buffer, uint32_t length, uint32_t& count) override;

    int Close();
    PumpCallback SetPump(PumpCallback pump, uint32_t data);

    // (fields and private helpers: see the implementation issue)
};
