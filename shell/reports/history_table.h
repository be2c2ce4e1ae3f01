// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history as a table for a person: a line of headings, then one line
// per record, its columns lined up. Off a terminal every column is shown
// in full with the times in UTC. On a terminal the times are the local time
// with its offset from UTC, and the table fits the terminal's width: when
// the rows are too long, each reason goes under its row (indented, broken
// between words) and the least needed columns give way (mode, serial
// number, model, OS before, image, in that order); a line still too long
// ends in "...".
//
// The table is made in two passes over the records, so that nothing but
// the column widths is held however long the history: every record is
// measured, then the heading and each record's line are written.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/records/history_record.h"

class MoCatalogue;

class CHistoryTable {
public:
    // `texts`: the headings' language (null: English). `columns`: the
    // width of the terminal it is shown on; 0 when it is no terminal.
    explicit CHistoryTable(const MoCatalogue* texts = nullptr, int columns = 0);

    // The first pass: the record's cells widen their columns as needed.
    void Measure(const HistoryRecord& record);
    // The second: the headings' line, then each record's (with, under it,
    // its reason when that has no column), each ending in a line feed.
    std::string Heading() const;
    std::string Row(const HistoryRecord& record) const;

private:
    using Cells = std::vector<std::string>;
    Cells CellsOf(const HistoryRecord& record) const;
    std::vector<bool> ShownColumns() const;
    std::string Line(const Cells& cells, bool heading) const;

    int m_columns;
    const MoCatalogue* m_texts;
    Cells m_headings;
    std::vector<size_t> m_widths;
    bool m_anyLabel = false;   // the Label column is shown only when a record has one
};

// A result word of the history file ("updated", "failed") in the
// catalogue's language; a word the program does not write stays as it is.
std::string ShownResultWord(const std::string& recorded, const MoCatalogue* texts);

// A mode word of the history file ("single", "all", "watch") in the
// catalogue's language; a word the program does not write stays as it is.
std::string ShownModeWord(const std::string& recorded, const MoCatalogue* texts);

// The record's reason as a person reads it, escaped and cut at `maxChars`:
// rendered in the catalogue's language from the message the record keeps,
// else (an old record, or a kept message that cannot be rendered
// faithfully) its English text; empty when it has none.
std::string ShownReason(const HistoryRecord& record, const MoCatalogue* texts, size_t maxChars = 1000);

// "2026-12-07T19:35:25Z" as the local time with its offset from UTC,
// "2026-12-07 20:35 +0100"; a text that is no such time stays as it is.
std::string ShownLocalTime(const std::string& iso);

// The record's field of that JSON name; nothing when it has none or the
// program knows no field of that name (a field newer than the program).
std::optional<std::string> RecordField(const HistoryRecord& record, std::string_view name);

// The columns of the history windows, in order, their headings and the
// cells of a record's row as a person reads them (the start as the local
// time with its offset, the reason whole, at most 1000 characters, "-" for
// what the record does not have), all in the catalogue's language.
enum HistoryWindowColumn {
    kRunStarted, kRunResult, kRunLabel, kRunDevice, kRunSerial, kRunModel, kRunOsBefore, kRunImage, kRunMode,
    kRunReason, kRunColumnCount
};
std::vector<std::string> HistoryWindowHeadings(const MoCatalogue* texts);
std::vector<std::string> HistoryWindowCells(const HistoryRecord& record, const MoCatalogue* texts);

// Whether the history windows show a run under their filter: its result as
// recorded is `result` (empty: any result), and one of its row's `cells`
// holds `text` as typed, letter case aside (blank: any text).
bool HistoryRunShown(const std::string& recordedResult, const std::vector<std::string>& cells,
                     const std::string& result, const std::string& text);

// The records as a CHistoryTable.
std::string HistoryTable(const std::vector<HistoryRecord>& records, const MoCatalogue* texts = nullptr,
                         int columns = 0);
