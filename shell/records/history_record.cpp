// SPDX-License-Identifier: GPL-3.0-or-later
// A history record as one line of JSON, written and read.
#include "shell/records/history_record.h"

#include <cstdint>
#include <cstdio>

#include "i18n/json_cursor.h"
#include "i18n/safe_text.h"
#include "shell/records/system_log.h"

const std::array<const char*, kHistoryFieldCount> kHistoryFieldNames = {
    "started", "ended", "device", "usb_serial", "usb_port", "model", "os_before", "os_image",
    "route", "block_size", "result", "reason", "mode", "host", "program_version", "reason_message",
    "needs_update", "image_sha256", "stub_sha256", "label", "reason_code", "os_after", "confirmed", "set_id", "retry_of",
    "site", "station", "asset_tag"};

namespace {

constexpr std::string_view kJournalRecordName = kRecordFieldName;

// Reads a flat JSON object from a line, one piece at a time.
class CLineReader : private CJsonCursor {
public:
    explicit CLineReader(std::string_view text) : CJsonCursor(text) {}

    bool Object(HistoryRecord& record)
    {
        if (!Take('{')) {
            return false;
        }
        if (Take('}')) {
            return AtEnd();
        }
        do {
            std::string name;
            std::optional<std::string> value;
            if (!String(name) || !Take(':') || !Value(value)) {
                return false;
            }
            if (name == kJournalRecordName) {
                m_journalRecord = value;
            } else if (name == "MESSAGE_ID") {
                m_messageId = value;
            } else if (name == "_HOSTNAME") {
                m_journalHost = value;
            }
            m_journalEntry = m_journalEntry || name == "__CURSOR" || name == "MESSAGE_ID";
            for (size_t f = 0; f < kHistoryFieldCount; ++f) {
                if (name == kHistoryFieldNames[f]) {
                    record.fields[f] = std::move(value);
                }
            }
        } while (Take(','));
        return Take('}') && AtEnd();
    }

    // What the object read was besides a record: a journal entry, and the
    // record it holds.
    bool JournalEntry() const { return m_journalEntry; }
    const std::optional<std::string>& JournalRecord() const { return m_journalRecord; }
    // The entry's MESSAGE_ID, and the host the journal itself recorded it on.
    const std::optional<std::string>& MessageId() const { return m_messageId; }
    const std::optional<std::string>& JournalHost() const { return m_journalHost; }

private:
    bool Value(std::optional<std::string>& value)
    {
        Space();
        if (m_journalEntry && m_at < m_text.size() && m_text[m_at] == '[') {
            value.reset();
            return SkipArray();   // a journal field that is not text: bytes as numbers
        }
        if (m_at < m_text.size() && m_text[m_at] == '"') {
            std::string text;
            if (!String(text)) {
                return false;
            }
            value = std::move(text);
            return true;
        }
        if (Word("null")) {
            value.reset();
            return true;
        }
        for (const char* word : {"true", "false"}) {
            if (Word(word)) {
                value = word;
                return true;
            }
        }
        return Number(value);
    }
    // A flat array of values, as a journal export writes a field that is
    // not printable text (its bytes as numbers).
    bool SkipArray()
    {
        Take('[');
        if (Take(']')) {
            return true;
        }
        std::optional<std::string> item;
        do {
            Space();
            if (m_at < m_text.size() && m_text[m_at] == '[') {
                return false;   // flat only: no depth to exhaust the stack
            }
            if (!Value(item)) {
                return false;
            }
        } while (Take(','));
        return Take(']');
    }
    bool Number(std::optional<std::string>& value)
    {
        const size_t start = m_at;
        const auto digits = [&] {
            const size_t from = m_at;
            while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
                ++m_at;
            }
            return m_at > from;
        };
        Word("-");
        if (!digits()) {
            return false;
        }
        if (Word(".") && !digits()) {
            return false;
        }
        if ((Word("e") || Word("E")) && !((Word("+") || Word("-") || true) && digits())) {
            return false;
        }
        value = std::string(m_text.substr(start, m_at - start));
        return true;
    }
    bool m_journalEntry = false;
    std::optional<std::string> m_journalRecord;
    std::optional<std::string> m_messageId;
    std::optional<std::string> m_journalHost;
};

bool IsWholeNumber(const std::string& text)
{
    return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string FormatHistoryLine(const HistoryRecord& record)
{
    std::string line = "{";
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        line += (f == 0 ? "\"" : ", \"") + std::string(kHistoryFieldNames[f]) + "\": ";
        const std::optional<std::string>& value = record.fields[f];
        const bool bare = value && ((f == kBlockSize && IsWholeNumber(*value)) ||
                                    ((f == kNeedsUpdate || f == kConfirmed) && (*value == "true" || *value == "false")));
        line += !value ? "null" : bare ? *value : JsonString(*value);
    }
    return line + "}";
}

bool ParseHistoryLine(std::string_view line, HistoryRecord& record)
{
    HistoryRecord read;
    if (!CLineReader(line).Object(read)) {
        return false;
    }
    record = std::move(read);
    return true;
}

LineKind ReadRecordLine(std::string_view line, HistoryRecord& record)
{
    HistoryRecord read;
    CLineReader reader(line);
    if (!reader.Object(read)) {
        return LineKind::Bad;
    }
    if (!reader.JournalEntry()) {
        record = std::move(read);
        return LineKind::Record;
    }
    // Anyone may log a field of that name: only the program's own entries
    // are runs, and where a run was is what the journal saw, not what the
    // entry says.
    if (reader.MessageId() != kRunMessageId || !reader.JournalRecord()) {
        return LineKind::OtherJournalEntry;
    }
    if (!ParseHistoryLine(*reader.JournalRecord(), record)) {
        return LineKind::Bad;
    }
    record.fields[kHost] = reader.JournalHost();
    return LineKind::Record;
}

std::string IsoUtc(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto secondsSince = floor<seconds>(time);
    const auto day = floor<days>(secondsSince);
    const year_month_day date{day};
    const hh_mm_ss clock{secondsSince - day};
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}
