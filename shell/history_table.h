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
#include <string>
#include <vector>

#include "shell/history.h"

class MoCatalogue;

class CHistoryTable {
public:
    // `texts`: the headings' language (null: English). `columns`: the
    // width of the terminal it is shown on; 0 when it is no terminal.
    explicit CHistoryTable(const MoCatalogue* texts = nullptr, int columns = 0);

    void Add(const HistoryRecord& record);
    // The table, each line ending in a line feed.
    std::string Text() const;

private:
    std::vector<size_t> Widths() const;
    std::vector<bool> ShownColumns(const std::vector<size_t>& widths) const;
    // The row's line (and, under it, its reason when that has no column).
    std::string Line(size_t row, const std::vector<size_t>& widths, const std::vector<bool>& shown) const;

    int m_columns;
    std::vector<std::vector<std::string>> m_rows;   // the headings first
};

// The records as a CHistoryTable.
std::string HistoryTable(const std::vector<HistoryRecord>& records, const MoCatalogue* texts = nullptr,
                         int columns = 0);
