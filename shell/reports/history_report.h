// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `zentrix-update --history`: the history shown as a table for a person,
// as one JSON document, or as CSV for a spreadsheet.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "shell/records/history_record.h"
#include "shell/reports/csv_cell.h"
#include "shell/reports/history_table.h"
#include "shell/screen/own_lines.h"
#include "shell/startup/command_line.h"

class MoCatalogue;

// The records of a history file's text, in the file's order (newest last),
// and one warning for each line that could not be read (a line torn by a
// power cut, for instance), all such lines in one; such a line is skipped.
struct HistoryContents {
    std::vector<HistoryRecord> records;
    std::vector<Message> warnings;
};
HistoryContents ReadHistoryText(std::string_view text, const std::string& path);

// The records in each form, whole (the CSV ends in a line feed; the table,
// in history_table.h, too).
std::string HistoryJson(const std::vector<HistoryRecord>& records);
std::string HistoryCsv(const std::vector<HistoryRecord>& records);

// The same forms a record at a time, for a history too large to hold: the
// JSON document is its start, each run (`first` for the first written) and
// its end; the CSV its header and a row per record.
inline constexpr const char* kHistoryJsonStart = "{\"schema_version\": 1, \"runs\": [";
std::string HistoryJsonRun(const HistoryRecord& record, bool first);
std::string HistoryJsonEnd(uint64_t runs);
std::string HistoryCsvHeader();
std::string HistoryCsvRow(const HistoryRecord& record);

// What --history prints: standard output, standard error and the exit code.
struct HistoryReport {
    std::string out;
    std::string err;
    int exitCode = 0;
};

// Reads the history at `path` (or the files of --from, merged:
// history_merge.h) as `query` asks (--json or --csv, --since, --from,
// --by-calculator, --needs, read by ParseProgramOptions), a line at a time,
// and writes what it shows as it goes; returns the exit code (0 shown, 1
// the history cannot be read). --by-calculator shows where each calculator
// stands (fleet_view.h); --needs only those that need an update to VERSION.
// `columns`: the width of the terminal the table is shown on (0: no
// terminal); see CHistoryTable.
int ReportHistory(const HistoryOptions& query, const std::string& path, const MoCatalogue* texts, int columns,
                  std::ostream& out, const COwnLines& err);
// The same into texts (a window shows them).
HistoryReport ReportHistory(const HistoryOptions& query, const std::string& path, const MoCatalogue* texts = nullptr,
                            int columns = 0);
