// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The trace of a channel session: every write and every device read as one
// line, in the order the bytes crossed the link, so that the simulated
// calculator can play the session back (zentrix-calc-sim --replay). It goes
// to the file ZENTRIX_TRACE names (appended to) and to the last run's copy
// (replaced by each session, capped in size), whichever are set.
//
// A session is its header line, its byte lines and notes, and its ending:
//   +0.000000 /dev/ttyUSB0 @ zentrix-trace 1 program=1.0.0.1 kind=serial device=/dev/ttyUSB0 block=1024 start=2026-12-07T09:55:46.123Z
//   +0.000412 /dev/ttyUSB0 > 05 30 30 41 41  .00AA
//   +0.002107 /dev/ttyUSB0 < 06  .
//   +0.003000 /dev/ttyUSB0 # words
//   +9.120334 /dev/ttyUSB0 = end result=failed block=1024 reason=the tail check: ...
// Each line starts with the seconds since the session opened and the device
// (control characters, spaces and backslashes as \xNN); '>' written, '<'
// read, with hex bytes and the bytes as ASCII ('.' for anything not
// printable). A USB device's header says kind=usb with ids=, serial= and
// port=. Each line is made whole first and appended by one write, so the
// sessions of many calculators can share one trace file without tearing
// each other's lines. With neither file set nothing is done.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "i18n/message.h"

// The trace's format version, in every header line.
inline constexpr int kTraceFormatVersion = 1;
// The last run's copy keeps its session's first lines up to this size, and
// its ending whatever the size.
inline constexpr uint64_t kLastRunTraceCap = 32u << 20;

// What a session's header says besides the device, and where its last-run
// copy goes; set before Start.
struct TraceSubject {
    std::string programVersion;   // empty: "unknown"
    std::string usbIds;           // "VVVV:PPPP" for a USB calculator; empty otherwise
    std::string usbSerial;
    std::string usbPort;
    uint32_t blockSize = 1024;    // the block size the session asks for first
    std::string lastRunCopy;      // the last run's trace file; empty: none
    std::string tracePath;        // a file every run's trace is appended to; empty: none
};

class CChannelTrace {
public:
    static constexpr char kWritten = '>';
    static constexpr char kRead = '<';

    CChannelTrace() = default;
    ~CChannelTrace() { Stop(); }
    CChannelTrace(const CChannelTrace&) = delete;
    CChannelTrace& operator=(const CChannelTrace&) = delete;

    // The device every line of the session names; set before Start,
    // forgotten by Stop.
    void SetDevice(const char* device);
    void SetSubject(const TraceSubject& subject) { m_subject = subject; }
    // Reads ZENTRIX_TRACE and opens that file for appending when it is set,
    // replaces the last run's copy when there is one, and writes the header.
    // A file that cannot be opened means no trace there (the session goes on).
    void Start();
    // Ends the session: the last run's copy's lines are made and written
    // (the run pays only for copying its bytes; see CUsbChannel::Close).
    void Stop();
    bool IsActive() const { return m_traced.file != kNoFile || m_lastRun.file != kNoFile; }
    // Why the last Start traced nothing although ZENTRIX_TRACE was set:
    // "cannot open trace file PATH: REASON"; empty otherwise.
    const Message& Failure() const { return m_failure; }
    // Why the ZENTRIX_TRACE file stopped part-way (a full disk, the file size
    // limit): "the trace file cannot be written: REASON; ..."; empty while it works.
    const Message& WriteFailure() const { return m_writeFailure; }

    void Record(char direction, const uint8_t* bytes, uint32_t length);
    // A line of words: "+S.UUUUUU DEVICE # TEXT".
    void Note(const char* text);
    // The session's ending, its last line: `result` one word, `blockSize`
    // 0 when it was not agreed, `reason` empty after a success.
    void End(const char* result, uint32_t blockSize, const std::string& reason);

private:
    static constexpr intptr_t kNoFile = -1;
    // One file the lines go to. The last run's copy gathers its lines and
    // writes them in large pieces; the ZENTRIX_TRACE file takes each line
    // at once (it must survive a crash mid-session).
    struct Sink {
        intptr_t file = kNoFile;   // a descriptor; a handle on Windows
        uint64_t written = 0;      // bytes given to the sink
        bool gathers = false;
        bool full = false;         // the cap is reached: only the ending comes
        std::string gathered;
    };

    void OpenSinks();
    // Gives one line to both files: at once to the ZENTRIX_TRACE file, held
    // for the last run's copy.
    void Put(char kind, const uint8_t* bytes, uint32_t length);
    // m_line for `kind` ('>', '<': bytes; '#', '=': words) at `micros`.
    void MakeLine(char kind, int64_t micros, const uint8_t* bytes, uint32_t length);
    void Hold(char kind, int64_t micros, const uint8_t* bytes, uint32_t length);
    void WriteHeld();
    void BeginLine(int64_t micros);
    void AppendElapsed(int64_t micros);
    void AppendHex(const uint8_t* bytes, uint32_t length);
    void AppendAscii(const uint8_t* bytes, uint32_t length);
    void AppendHeader();
    void PutTraced();
    // Gives m_line to the last run's copy; an `ending` line passes a full one.
    void PutLastRun(bool ending);
    void Flush(Sink& sink);
    void Close(Sink& sink);

    TraceSubject m_subject;
    Sink m_traced;    // ZENTRIX_TRACE
    Sink m_lastRun;   // the last run's copy
    // The last run's copy's records, each the time (8 bytes), the kind (1),
    // the length (4) and the bytes; the size of their lines, roughly.
    static constexpr size_t kHeldHead = 13;
    struct HeldPiece {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
        size_t used = 0;
    };
    std::vector<HeldPiece> m_held;
    uint64_t m_heldLineSize = 0;
    bool m_heldCut = false;   // records were left out at the cap
    std::chrono::steady_clock::time_point m_start;
    std::chrono::system_clock::time_point m_startWall;
    size_t m_prefixLength = 0;   // of the time and device that start m_line
    std::string m_line;          // the line being made; its room is kept from line to line
    std::string m_device;
    Message m_failure;
    Message m_writeFailure;
};

// A value as the trace writes it: control characters, spaces and
// backslashes (and any byte beyond ASCII) as \xNN; "-" for an empty value.
std::string TraceValue(const std::string& text);
