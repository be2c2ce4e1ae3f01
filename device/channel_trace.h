// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The optional trace of a channel session: when ZENTRIX_TRACE names a file,
// every write and every device read is appended to it as one line
//   2026-12-07 09:55:46.123 > 05 30 30 41 41  .00AA
// (local time, '>' written / '<' read, hex bytes, bytes as ASCII with '.'
// for anything not printable). Without the variable nothing is done.
#include <cstdint>
#include <cstdio>
#include <string>

class CChannelTrace {
public:
    static constexpr char kWritten = '>';
    static constexpr char kRead = '<';

    CChannelTrace() = default;
    ~CChannelTrace() { Stop(); }
    CChannelTrace(const CChannelTrace&) = delete;
    CChannelTrace& operator=(const CChannelTrace&) = delete;

    // Reads ZENTRIX_TRACE and opens the file for appending when it is set.
    // A file that cannot be opened means no trace (the session goes on).
    void Start();
    void Stop();
    bool IsActive() const { return m_file != nullptr; }
    // Why the last Start traced nothing although ZENTRIX_TRACE was set:
    // "cannot open trace file PATH: REASON"; empty otherwise.
    const std::string& Failure() const { return m_failure; }

    void Record(char direction, const uint8_t* bytes, uint32_t length);
    // A line of words: "2026-12-07 09:55:46.123 # TEXT".
    void Note(const char* text);

private:
    void PutTimestamp();
    void PutHex(const uint8_t* bytes, uint32_t length);
    void PutAscii(const uint8_t* bytes, uint32_t length);

    std::FILE* m_file = nullptr;
    std::string m_failure;
};
