// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/channel_trace.h"

#include <algorithm>
#include <array>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/safe_text.h"
#include "device/trace_file.h"
#include "i18n/message.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Room for the words around the bytes of a line, kept from the first line on.
constexpr size_t kLineRoom = 8192;
// The last run's copy is written in pieces of about this size.
constexpr size_t kGatherSize = 64 * 1024;
// Kept free under the cap for the ending and the note that the copy is cut.
constexpr uint64_t kEndingRoom = 8 * 1024;
// The last run's copy holds its records in pieces of this size.
constexpr size_t kHeldPiece = 1 << 20;

// A time as ISO 8601 UTC to the millisecond: "2026-12-07T09:55:46.123Z".
std::string IsoUtcMillis(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto millis = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(millis)));
    const year_month_day date(day);
    const auto inDay = milliseconds(millis) - duration_cast<milliseconds>(day.time_since_epoch());
    const hh_mm_ss<milliseconds> clock(inDay);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

}  // namespace

std::string TraceValue(const std::string& text)
{
    if (text.empty()) {
        return "-";
    }
    std::string value;
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte <= 0x20 || byte >= 0x7F || byte == '\\') {
            value += "\\x";
            value += kHexDigits[byte >> 4];
            value += kHexDigits[byte & 0x0F];
        } else {
            value += c;
        }
    }
    return value;
}

void CChannelTrace::SetDevice(const char* device)
{
    m_device = device != nullptr && *device != '\0' ? TraceValue(device) : "";
}

void CChannelTrace::Start()
{
    WriteHeld();
    Close(m_traced);
    Close(m_lastRun);
    m_failure = Message();
    m_writeFailure = Message();
    m_start = std::chrono::steady_clock::now();
    m_startWall = std::chrono::system_clock::now();
    OpenSinks();
    if (!IsActive()) {
        return;
    }
    m_line.reserve(kLineRoom);
    BeginLine(0);
    AppendHeader();
    PutTraced();
    PutLastRun(false);
    Flush(m_lastRun);   // the header is there at once, whatever happens to the run
}

void CChannelTrace::OpenSinks()
{
    if (!m_subject.tracePath.empty()) {
        std::string why;
        m_traced.file = OpenTraceFile(m_subject.tracePath.c_str(), false, why);
        if (m_traced.file == kNoFile) {
            m_failure = Message(N_("cannot open trace file %s: %s"), {SafeText(m_subject.tracePath), why});
        }
    }
    if (!m_subject.lastRunCopy.empty()) {
        std::string ignored;   // the copy is a convenience: without it the run goes on unsaid
        m_lastRun.file = OpenTraceFile(m_subject.lastRunCopy.c_str(), true, ignored);
        m_lastRun.gathers = true;
        m_lastRun.gathered.reserve(kGatherSize + kLineRoom);
    }
}

void CChannelTrace::Stop()
{
    WriteHeld();
    Close(m_traced);
    Close(m_lastRun);
    m_device.clear();
}

void CChannelTrace::Close(Sink& sink)
{
    if (sink.file != kNoFile) {
        Flush(sink);
    }
    if (sink.file != kNoFile) {
        CloseTraceFile(sink.file);
    }
    sink = Sink{};
}

void CChannelTrace::AppendHeader()
{
    m_line += "@ zentrix-trace ";
    m_line += std::to_string(kTraceFormatVersion);
    m_line += " program=" + TraceValue(m_subject.programVersion.empty() ? "unknown" : m_subject.programVersion);
    if (m_subject.usbIds.empty()) {
        m_line += " kind=serial";
    } else {
        m_line += " kind=usb ids=" + TraceValue(m_subject.usbIds) + " serial=" + TraceValue(m_subject.usbSerial) +
                  " port=" + TraceValue(m_subject.usbPort);
    }
    m_line += " device=" + (m_device.empty() ? std::string("-") : m_device);
    m_line += " block=" + std::to_string(m_subject.blockSize);
    m_line += " start=" + IsoUtcMillis(m_startWall);
    m_line += '\n';
}

void CChannelTrace::BeginLine(int64_t micros)
{
    m_line.clear();
    AppendElapsed(micros);
    if (!m_device.empty()) {
        m_line += m_device;
        m_line += ' ';
    }
    m_prefixLength = m_line.size();
}

void CChannelTrace::AppendElapsed(int64_t micros)
{
    char text[32];
    const int length = std::snprintf(text, sizeof text, "+%lld.%06lld ", static_cast<long long>(micros / 1000000),
                                     static_cast<long long>(micros % 1000000));
    m_line.append(text, length > 0 ? static_cast<size_t>(length) : 0);
}

void CChannelTrace::Record(char direction, const uint8_t* bytes, uint32_t length)
{
    Put(direction, bytes, length);
}

void CChannelTrace::Note(const char* text)
{
    const std::string line = SafeLine(text);   // one line, whatever the text holds
    Put('#', reinterpret_cast<const uint8_t*>(line.data()), static_cast<uint32_t>(line.size()));
}

void CChannelTrace::End(const char* result, uint32_t blockSize, const std::string& reason)
{
    const std::string words = std::string("end result=") + result +
                              " block=" + (blockSize != 0 ? std::to_string(blockSize) : std::string("-")) +
                              " reason=" + (reason.empty() ? std::string("-") : SafeLine(reason));
    Put('=', reinterpret_cast<const uint8_t*>(words.data()), static_cast<uint32_t>(words.size()));
}

void CChannelTrace::Put(char kind, const uint8_t* bytes, uint32_t length)
{
    if (!IsActive()) {
        return;
    }
    const int64_t micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_start).count();
    if (m_traced.file != kNoFile) {
        MakeLine(kind, micros, bytes, length);
        PutTraced();
    }
    if (m_lastRun.file != kNoFile) {
        Hold(kind, micros, bytes, length);
    }
}

void CChannelTrace::MakeLine(char kind, int64_t micros, const uint8_t* bytes, uint32_t length)
{
    BeginLine(micros);
    m_line += kind;
    if (kind == kWritten || kind == kRead) {
        AppendHex(bytes, length);
        m_line += "  ";
        AppendAscii(bytes, length);
    } else {
        m_line += ' ';
        m_line.append(reinterpret_cast<const char*>(bytes), length);
    }
    m_line += '\n';
}

// The last run's copy keeps what it is given as it came (time, kind, length,
// bytes) and makes its lines when the session ends: the run pays a copy of
// the bytes, the lines are made in the device's settling pause.
void CChannelTrace::Hold(char kind, int64_t micros, const uint8_t* bytes, uint32_t length)
{
    // Lines take about four times their bytes: what is held stops at the cap.
    const uint64_t lineSize = 4u * static_cast<uint64_t>(length) + 64;
    if (kind != '=' && m_heldLineSize + lineSize > kLastRunTraceCap) {
        m_heldCut = true;
        return;
    }
    m_heldLineSize += lineSize;
    const size_t size = kHeldHead + length;
    if (m_held.empty() || m_held.back().used + size > m_held.back().size) {
        // Pieces that are never moved or cleared: the run pays one copy of its bytes.
        const size_t pieceSize = std::max(kHeldPiece, size);
        m_held.push_back({std::make_unique_for_overwrite<uint8_t[]>(pieceSize), pieceSize, 0});
    }
    HeldPiece& piece = m_held.back();
    uint8_t* at = piece.bytes.get() + piece.used;
    std::memcpy(at, &micros, sizeof micros);
    at[8] = static_cast<uint8_t>(kind);
    std::memcpy(at + 9, &length, sizeof length);
    std::memcpy(at + kHeldHead, bytes, length);
    piece.used += size;
}

void CChannelTrace::WriteHeld()
{
    for (const HeldPiece& piece : m_held) {
        for (size_t at = 0; at + kHeldHead <= piece.used && m_lastRun.file != kNoFile;) {
            const uint8_t* record = piece.bytes.get() + at;
            int64_t micros = 0;
            uint32_t length = 0;
            std::memcpy(&micros, record, sizeof micros);
            const char kind = static_cast<char>(record[8]);
            std::memcpy(&length, record + 9, sizeof length);
            if (kind == '=' && m_heldCut && !m_lastRun.full) {
                m_lastRun.full = true;
                m_line = m_line.substr(0, m_prefixLength) + "# the rest of the session is left out: this copy keeps " +
                         std::to_string(kLastRunTraceCap) + " bytes at most\n";
                PutLastRun(true);
            }
            MakeLine(kind, micros, record + kHeldHead, length);
            PutLastRun(kind == '=');
            at += kHeldHead + length;
        }
    }
    m_held.clear();
    m_heldLineSize = 0;
    m_heldCut = false;
}

void CChannelTrace::AppendHex(const uint8_t* bytes, uint32_t length)
{
    // " XX" for each byte from a table of all 256, four bytes copied at a
    // time (the fourth is overwritten by the next byte, or trimmed).
    static const std::array<std::array<char, 4>, 256> kHex = [] {
        std::array<std::array<char, 4>, 256> table = {};
        for (size_t i = 0; i < table.size(); ++i) {
            table[i] = {' ', kHexDigits[i >> 4], kHexDigits[i & 0x0F], ' '};
        }
        return table;
    }();
    const size_t at = m_line.size();
    m_line.resize(at + 3u * length + 1);
    char* out = m_line.data() + at;
    for (uint32_t i = 0; i < length; ++i, out += 3) {
        std::memcpy(out, kHex[bytes[i]].data(), 4);
    }
    m_line.resize(at + 3u * length);
}

void CChannelTrace::AppendAscii(const uint8_t* bytes, uint32_t length)
{
    const size_t at = m_line.size();
    m_line.resize(at + length);
    char* out = m_line.data() + at;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t byte = bytes[i];
        out[i] = static_cast<char>(byte - 0x20u < 0x5Fu ? byte : '.');
    }
}

void CChannelTrace::PutTraced()
{
    if (m_traced.file == kNoFile) {
        return;
    }
    // At once: the trace must survive a crash mid-session.
    const uint32_t error = WriteTraceFile(m_traced.file, m_line.data(), m_line.size());
    if (error == 0) {
        return;
    }
    m_writeFailure = Message(N_("the trace file cannot be written (%s); the rest of this update is not traced"),
                             {std::string(std::strerror(static_cast<int>(error)))});
    CloseTraceFile(m_traced.file);
    m_traced = Sink{};
}

void CChannelTrace::PutLastRun(bool ending)
{
    Sink& sink = m_lastRun;
    if (sink.file == kNoFile || (sink.full && !ending)) {
        return;
    }
    if (!ending && sink.written + m_line.size() + kEndingRoom > kLastRunTraceCap) {
        sink.full = true;
        sink.gathered += m_line.substr(0, m_prefixLength) + "# the rest of the session is left out: this copy keeps " +
                         std::to_string(kLastRunTraceCap) + " bytes at most\n";
        return;
    }
    sink.gathered += m_line;
    sink.written += m_line.size();
    if (ending || sink.gathered.size() >= kGatherSize) {
        Flush(sink);
    }
}

void CChannelTrace::Flush(Sink& sink)
{
    if (sink.gathered.empty()) {
        return;
    }
    if (WriteTraceFile(sink.file, sink.gathered.data(), sink.gathered.size()) != 0) {
        CloseTraceFile(sink.file);
        sink = Sink{};
        return;
    }
    sink.gathered.clear();
}
