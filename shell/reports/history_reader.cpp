// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/history_reader.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <string_view>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <iterator>
#include <filesystem>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/safe_text.h"
#include "shell/reports/log_exports.h"

bool CHistoryReader::Open(const std::string& path, Message& problem)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return true;   // nothing recorded yet
    }
    if (error) {
        problem = Message(N_("the history %s cannot be read: %s"), {SafeText(path), error.message()});
        return false;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        problem = Message(N_("the history %s cannot be read: it is not a regular file"), {SafeText(path)});
        return false;
    }
    m_owned.reset(std::fopen(path.c_str(), "rb"));
    m_file = m_owned.get();
    if (m_file == nullptr) {
        problem = Message(N_("the history %s cannot be read: %s"), {SafeText(path), std::string(std::strerror(errno))});
        return false;
    }
    return true;
}

namespace {

// What the file has now, up to `size` bytes, waiting only while it has
// nothing: a pipe's records are taken as they come (fread would wait for a
// whole buffer, and a report whose reader has gone would never hear of it).
// 0 at the end or on an error.
size_t ReadAvailable(FILE* file, char* buffer, size_t size)
{
    for (;;) {
#ifdef _WIN32
        const int got = _read(_fileno(file), buffer, static_cast<unsigned>(std::min<size_t>(size, INT_MAX)));
#else
        const ssize_t got = ::read(fileno(file), buffer, size);
#endif
        if (got >= 0) {
            return static_cast<size_t>(got);
        }
        if (errno != EINTR) {
            return 0;
        }
    }
}

}  // namespace

bool CHistoryReader::FillBuffer()
{
    if (m_file == nullptr) {
        return false;
    }
    m_begin = 0;
    // The first read is no larger than UTF-16's own buffer, which takes it
    // when it turns out to be UTF-16.
    m_end = m_utf16 ? FillFromUtf16()
                    : ReadAvailable(m_file, m_buffer.data(), m_started ? m_buffer.size() : m_raw.size());
    if (!m_started && m_end > 0) {
        m_started = true;
        LookAtStart();
    }
    return m_end > m_begin;
}

void CHistoryReader::LookAtStart()
{
    const std::string_view start(m_buffer.data(), m_end);
    if (start.substr(0, 3) == "\xEF\xBB\xBF") {
        m_begin = 3;
        m_offset = 3;
    } else if (start.substr(0, 2) == "\xFF\xFE") {
        m_utf16 = true;
        m_rawHeld = m_end - 2;
        std::memcpy(m_raw.data(), m_buffer.data() + 2, m_rawHeld);
        m_end = FillFromUtf16();
    }
    const size_t first = std::string_view(m_buffer.data() + m_begin, m_end - m_begin).find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos) {
        m_format = m_buffer[m_begin + first] == '<' ? Format::Events : Format::Lines;
    }
}

size_t CHistoryReader::FillFromUtf16()
{
    size_t out = 0;
    for (;;) {
        size_t at = 0;
        // A pair's second half may be still to come: two units are kept back
        // until then, one byte of an odd count too.
        while (at + 2 <= m_rawHeld) {
            uint32_t unit = static_cast<uint8_t>(m_raw[at]) | static_cast<uint8_t>(m_raw[at + 1]) << 8;
            size_t used = 2;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                if (at + 4 > m_rawHeld) {
                    break;
                }
                const uint32_t low = static_cast<uint8_t>(m_raw[at + 2]) | static_cast<uint8_t>(m_raw[at + 3]) << 8;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    used = 4;
                } else {
                    unit = 0xFFFD;
                }
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                unit = 0xFFFD;
            }
            out += EncodeUtf8(unit, m_buffer.data() + out);
            at += used;
        }
        std::memmove(m_raw.data(), m_raw.data() + at, m_rawHeld - at);
        m_rawHeld -= at;
        if (out > 0) {
            return out;
        }
        const size_t got = ReadAvailable(m_file, m_raw.data() + m_rawHeld, m_raw.size() - m_rawHeld);
        if (got == 0) {
            return 0;   // the end: half a character left is no character
        }
        m_rawHeld += got;
    }
}

bool CHistoryReader::NextLine(char end)
{
    m_line.clear();
    m_lineTooLong = false;
    bool any = false;
    while (m_offset < m_limit) {
        if (m_begin == m_end && !FillBuffer()) {
            break;
        }
        any = true;
        const size_t room = static_cast<size_t>(std::min<uint64_t>(m_end - m_begin, m_limit - m_offset));
        const char* start = m_buffer.data() + m_begin;
        const char* found = static_cast<const char*>(std::memchr(start, end, room));
        const size_t taken = found != nullptr ? static_cast<size_t>(found - start) : room;
        if (m_line.size() + taken > kMaxLineBytes) {
            m_lineTooLong = true;
        } else {
            m_line.append(start, taken);
        }
        const size_t consumed = taken + (found != nullptr ? 1 : 0);
        m_lineFeeds += static_cast<uint64_t>(std::count(start, start + consumed, '\n'));
        m_begin += consumed;
        m_offset += consumed;
        if (found != nullptr) {
            break;
        }
    }
    return any;
}

void CHistoryReader::CountBad(uint64_t line)
{
    if (m_bad.count++ == 0) {
        m_bad.first = line;
    }
}

// An event export: the text between events (a declaration, the root
// element around them, space) is passed over; an event is taken from its
// "<Event" to its "</Event>", cut off past kMaxLineBytes.
bool CHistoryReader::NextEvent(HistoryRecord& record)
{
    m_event.clear();
    bool inEvent = false;
    bool tooLong = false;
    uint64_t firstLine = 0;
    for (;;) {
        const uint64_t feedsBefore = m_lineFeeds;
        if (!NextLine('>')) {
            break;
        }
        std::string_view piece(m_line);
        if (!inEvent) {
            const size_t open = piece.rfind("<Event");
            const size_t after = open + 6;
            if (open == std::string_view::npos ||
                (after < piece.size() && std::string_view(" \t\r\n/").find(piece[after]) == std::string_view::npos)) {
                continue;
            }
            inEvent = true;
            tooLong = false;
            firstLine = feedsBefore + 1 + static_cast<uint64_t>(std::count(piece.begin(), piece.begin() + open, '\n'));
            piece.remove_prefix(open);
        }
        if (m_lineTooLong || m_event.size() + piece.size() + 1 > kMaxLineBytes) {
            tooLong = true;
        } else {
            m_event.append(piece);
            m_event += '>';
        }
        const size_t last = piece.find_last_not_of(" \t\r\n");
        const std::string_view tail = last == std::string_view::npos ? piece : piece.substr(0, last + 1);
        const bool closes = tail.size() >= 7 && tail.substr(tail.size() - 7) == "</Event";
        if (!closes && !(m_event.size() == piece.size() + 1 && !tail.empty() && tail.back() == '/')) {
            continue;
        }
        const LineKind kind = tooLong ? LineKind::Bad : ReadExportedEvent(m_event, record);
        m_event.clear();
        inEvent = false;
        if (kind == LineKind::Record) {
            return true;
        }
        if (kind == LineKind::Bad) {
            CountBad(firstLine);
        }
    }
    if (inEvent) {
        CountBad(firstLine);   // cut off where the file ends
    }
    return false;
}

bool CHistoryReader::Next(HistoryRecord& record)
{
    if (!m_started) {
        FillBuffer();   // the first bytes tell the format before the first piece is cut
    }
    if (m_format == Format::Events) {
        return NextEvent(record);
    }
    for (;;) {
        const uint64_t line = m_lineFeeds + 1;
        if (!NextLine()) {
            return false;
        }
        const size_t first = m_line.find_first_not_of(" \t\r");
        if (!m_lineTooLong && first == std::string::npos) {
            continue;
        }
        record = {};
        const LineKind kind = m_lineTooLong              ? LineKind::Bad
                              : m_line[first] == '{'     ? ReadRecordLine(m_line, record)
                                                         : ReadSyslogLine(m_line, record);
        if (kind == LineKind::Record) {
            return true;
        }
        if (kind == LineKind::Bad) {
            CountBad(line);
        }
    }
}

Message BadLinesWarning(const HistoryBadLines& bad, const MessageArg& shownPath)
{
    if (bad.count == 0) {
        return {};
    }
    if (bad.count == 1) {
        return Message(N_("line %d of %s is not a whole record (cut off when it was written?); it is skipped"),
                       {std::to_string(bad.first), shownPath});
    }
    return Message::Count("%d line of %s is not a whole record; it is skipped (the first is line %d)",
                          "%d lines of %s are not whole records; they are skipped (the first is line %d)", bad.count,
                          {std::to_string(bad.count), shownPath, std::to_string(bad.first)});
}

std::vector<HistoryRecord> ReadNewestRecords(const std::string& path, size_t most, uint64_t& total,
                                             std::vector<Message>& warnings)
{
    std::deque<HistoryRecord> newest;
    CHistoryReader reader;
    Message problem;
    total = 0;
    if (!reader.Open(path, problem)) {
        warnings.push_back(problem);
        return {};
    }
    HistoryRecord record;
    while (reader.Next(record)) {
        ++total;
        newest.push_back(std::move(record));
        if (newest.size() > most) {
            newest.pop_front();
        }
    }
    if (Message bad = BadLinesWarning(reader.BadLines(), SafeText(path)); !bad.Empty()) {
        warnings.push_back(bad);
    }
    return {std::make_move_iterator(newest.begin()), std::make_move_iterator(newest.end())};
}
