// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a history file one line at a time: memory stays the same however
// large the file grows, and a line too long to be a record is skipped
// without being held. A line of a journal export (`journalctl -o json`) is
// read as the record its ZENTRIX_RECORD field holds when it is one of the
// program's entries (its MESSAGE_ID), a syslog file's line as the record
// after its "@cee:" cookie; the logs' other entries are passed over. A file
// whose first character is "<" is a Windows event export, read an event at
// a time, as bounded as a line (log_exports.h). A file may begin with a
// byte order mark, UTF-8's or UTF-16's (little-endian, as PowerShell
// writes what it redirects), and is read as UTF-8 either way.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "i18n/message.h"
#include "shell/records/history_record.h"

// The lines that were not records: how many, and where the first was.
struct HistoryBadLines {
    uint64_t count = 0;
    uint64_t first = 0;   // line number, from 1
};

class CHistoryReader {
public:
    // The longest line taken as a record; a longer one is a bad line.
    static constexpr size_t kMaxLineBytes = 64 * 1024;

    // Opens the history at `path`. A missing file reads as an empty history;
    // a folder, a pipe or a device is refused (nothing waits on it), as is a
    // file that cannot be opened. False with `problem` then.
    bool Open(const std::string& path, Message& problem);
    // Reads `file` (standard input, say) from where it is; the caller keeps
    // it open for as long as the reader reads.
    void Read(FILE* file) { m_file = file; }

    // The next record in the file's order; false at the end of the file, or
    // at `StopAt`'s byte when one was set.
    bool Next(HistoryRecord& record);

    // Reads no further than `bytes` from the start (a second pass over a
    // file that may grow meanwhile sees what the first saw).
    void StopAt(uint64_t bytes) { m_limit = bytes; }
    uint64_t BytesRead() const { return m_offset; }
    const HistoryBadLines& BadLines() const { return m_bad; }

private:
    enum class Format { Unknown, Lines, Events };

    // The next piece up to `end` (not included) into m_line, cut at
    // kMaxLineBytes (m_lineTooLong set); false at the end.
    bool NextLine(char end = '\n');
    bool NextEvent(HistoryRecord& record);
    // Counts a line or event that is not a record, starting at `line`.
    void CountBad(uint64_t line);
    bool FillBuffer();
    // The first bytes: a byte order mark taken, the format told.
    void LookAtStart();
    // UTF-16LE bytes from m_raw into m_buffer as UTF-8.
    size_t FillFromUtf16();

    std::unique_ptr<FILE, int (*)(FILE*)> m_owned{nullptr, &std::fclose};
    FILE* m_file = nullptr;
    std::array<char, 64 * 1024> m_buffer{};
    size_t m_begin = 0;
    size_t m_end = 0;
    uint64_t m_offset = 0;       // bytes consumed, through the last line's end
    uint64_t m_limit = UINT64_MAX;
    uint64_t m_lineFeeds = 0;    // line feeds consumed: the line a piece starts on is one more
    std::string m_line;
    bool m_lineTooLong = false;
    HistoryBadLines m_bad;
    bool m_started = false;
    Format m_format = Format::Unknown;
    bool m_utf16 = false;
    std::array<char, 16 * 1024> m_raw{};   // UTF-16 bytes not yet taken
    size_t m_rawHeld = 0;
    std::string m_event;
};

// The one warning about a file's bad lines (English, for the user's
// catalogue where it is shown); empty when there were none.
Message BadLinesWarning(const HistoryBadLines& bad, const MessageArg& shownPath);

// The newest `most` records of the history at `path` (all it holds, when
// fewer), in the file's order; `total` counts every record read, and
// `warnings` gets what a window says under them (a file that cannot be
// read, lines that are not whole records).
std::vector<HistoryRecord> ReadNewestRecords(const std::string& path, size_t most, uint64_t& total,
                                             std::vector<Message>& warnings);
