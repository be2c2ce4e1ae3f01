// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The optional trace of a channel session: when ZENTRIX_TRACE names a file,
// every write and every device read is appended to it as one line
//   2026-12-07 09:55:46.123 /dev/ttyUSB0 > 05 30 30 41 41  .00AA
// (local time, the device when the session opened one by its path, '>'
// written / '<' read, hex bytes, bytes as ASCII with '.' for anything not
// printable). Each line is made whole first and appended by one write, so
// the sessions of many calculators can share one trace file without tearing
// each other's lines. Without the variable nothing is done.
#include <cstdint>
#include <string>

class CChannelTrace {
public:
    static constexpr char kWritten = '>';
    static constexpr char kRead = '<';

    CChannelTrace() = default;
    ~CChannelTrace() { Stop(); }
    CChannelTrace(const CChannelTrace&) = delete;
    CChannelTrace& operator=(const CChannelTrace&) = delete;

    // The device every line of the session names (control characters,
    // spaces and backslashes as \xNN); set before Start, forgotten by Stop.
    void SetDevice(const char* device);
    // Reads ZENTRIX_TRACE and opens the file for appending when it is set.
    // A file that cannot be opened means no trace (the session goes on).
    void Start();
    void Stop();
    bool IsActive() const { return m_file != kNoFile; }
    // Why the last Start traced nothing although ZENTRIX_TRACE was set:
    // "cannot open trace file PATH: REASON"; empty otherwise.
    const std::string& Failure() const { return m_failure; }
    // Why the trace stopped part-way (a full disk, the file size limit):
    // "the trace file cannot be written: REASON; ..."; empty while it works.
    const std::string& WriteFailure() const { return m_writeFailure; }

    void Record(char direction, const uint8_t* bytes, uint32_t length);
    // A line of words: "2026-12-07 09:55:46.123 DEVICE # TEXT".
    void Note(const char* text);

private:
    // The platform's part: opens the file (setting m_file or m_failure),
    // closes it, puts the local time into m_line, appends m_line by one
    // write (0, or the errno value of the failure).
    void OpenFile(const char* path);
    void CloseFile();
    void AppendTimestamp();
    uint32_t WriteLine();
    // Writes m_line; a failure ends the trace, said once in m_writeFailure.
    void PutLine();

    void BeginLine();
    void AppendHex(const uint8_t* bytes, uint32_t length);
    void AppendAscii(const uint8_t* bytes, uint32_t length);

    static constexpr intptr_t kNoFile = -1;
    intptr_t m_file = kNoFile;   // a descriptor opened for appending; a handle on Windows
    std::string m_line;          // the line being made; its room is kept from line to line
    std::string m_device;
    std::string m_failure;
    std::string m_writeFailure;
};
