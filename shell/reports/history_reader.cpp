// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/history_reader.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <iterator>
#include <filesystem>

#include "device/safe_text.h"
#include "i18n/message.h"

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
    m_end = ReadAvailable(m_file, m_buffer.data(), m_buffer.size());
    return m_end > 0;
}

bool CHistoryReader::NextLine()
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
        const char* feed = static_cast<const char*>(std::memchr(start, '\n', room));
        const size_t taken = feed != nullptr ? static_cast<size_t>(feed - start) : room;
        if (m_line.size() + taken > kMaxLineBytes) {
            m_lineTooLong = true;
        } else {
            m_line.append(start, taken);
        }
        const size_t consumed = taken + (feed != nullptr ? 1 : 0);
        m_begin += consumed;
        m_offset += consumed;
        if (feed != nullptr) {
            break;
        }
    }
    if (any) {
        ++m_lineNumber;
    }
    return any;
}

bool CHistoryReader::Next(HistoryRecord& record)
{
    while (NextLine()) {
        if (!m_lineTooLong && m_line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        record = {};
        const LineKind kind = m_lineTooLong ? LineKind::Bad : ReadRecordLine(m_line, record);
        if (kind == LineKind::Record) {
            return true;
        }
        if (kind == LineKind::OtherJournalEntry) {
            continue;
        }
        if (m_bad.count++ == 0) {
            m_bad.first = m_lineNumber;
        }
    }
    return false;
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
