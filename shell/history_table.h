// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history as a table for a person: a line of headings, then one line
// per record, its columns lined up. Off a terminal every column is shown
// in full with the times in UTC. On a terminal the table fits its width:
// the least needed columns go first (mode, serial number, model, OS
// before, image), a line still too long ends in "...", and the times are
// the local time with its offset from UTC.
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
    std::vector<bool> ShownColumns() const;

    int m_columns;
    std::vector<std::vector<std::string>> m_rows;   // the headings first
};

// The records as a CHistoryTable.
std::string HistoryTable(const std::vector<HistoryRecord>& records, const MoCatalogue* texts = nullptr,
                         int columns = 0);
