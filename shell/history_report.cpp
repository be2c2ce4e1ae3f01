// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/history_report.h"

#include <cstdint>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>

#include "device/safe_text.h"
#include "i18n/localize.h"
#include "i18n/text_format.h"
#include "shell/history_reader.h"
#include "shell/since_option.h"

namespace {

constexpr const char* kUsage = "zentrix-update: usage: zentrix-update --history [--json | --csv] [--since DATE]\n";

struct HistoryQuery {
    HistoryFormat format = HistoryFormat::Table;
    std::string since;      // as given; empty: every record
    std::string sinceTime;  // the moment it names, as the records write their times
};

bool ParseQuery(const std::vector<std::string>& arguments, HistoryQuery& query)
{
    bool formatGiven = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--history") {
            continue;
        }
        if (a == "--json" || a == "--csv") {
            if (formatGiven) {
                return false;
            }
            formatGiven = true;
            query.format = a == "--json" ? HistoryFormat::Json : HistoryFormat::Csv;
        } else if (a == "--since" && i + 1 < arguments.size()) {
            query.since = arguments[++i];
        } else if (a.rfind("--since=", 0) == 0) {
            query.since = a.substr(8);
        } else {
            return false;
        }
    }
    return true;
}

// The moment of --since into `query`; false, with the usage error naming the
// value in `err`, when it cannot be read.
bool ReadSince(HistoryQuery& query, const MoCatalogue* texts, std::string& err)
{
    if (query.since.empty()) {
        return true;
    }
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const std::optional<std::chrono::sys_seconds> at = ParseSinceValue(query.since, now);
    if (!at) {
        err = "zentrix-update: " +
              Localize(texts, FormatText(N_("--since %s cannot be read: give YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] "
                                            "(with Z or +HH:MM for a time not local), today, yesterday or Nd (N "
                                            "days ago)"),
                                         {SafeText(query.since)})) +
              "\n";
        return false;
    }
    query.sinceTime = RecordTimeText(*at);
    return true;
}

// A CSV cell a spreadsheet shows as the text it is: control bytes escaped
// as in the table, quoted where CSV needs it, and a text that a spreadsheet
// would take for a formula led by an apostrophe.
std::string CsvField(const std::string& value)
{
    std::string text = SafeText(value, SIZE_MAX);
    if (!value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos) {
        text.insert(0, 1, '\'');
    }
    if (text.find_first_of(",\"") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

HistoryContents ReadHistoryText(std::string_view text, const std::string& path)
{
    HistoryContents contents;
    HistoryBadLines bad;
    uint64_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
            continue;
        }
        HistoryRecord record;
        if (ParseHistoryLine(line, record)) {
            contents.records.push_back(std::move(record));
        } else if (bad.count++ == 0) {
            bad.first = lineNumber;
        }
    }
    if (bad.count != 0) {
        contents.warnings.push_back(BadLinesWarning(bad, path));
    }
    return contents;
}

std::string HistoryJsonRun(const HistoryRecord& record, bool first)
{
    return (first ? "\n  " : ",\n  ") + FormatHistoryLine(record);
}

std::string HistoryJson(const std::vector<HistoryRecord>& records)
{
    std::string json = kHistoryJsonStart;
    for (size_t i = 0; i < records.size(); ++i) {
        json += HistoryJsonRun(records[i], i == 0);
    }
    return json + HistoryJsonEnd(records.size());
}

std::string HistoryJsonEnd(uint64_t runs)
{
    return runs == 0 ? "]}\n" : "\n]}\n";
}

std::string HistoryCsvHeader()
{
    std::string csv;
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        csv += (f == 0 ? "" : ",") + std::string(kHistoryFieldNames[f]);
    }
    return csv + "\r\n";
}

std::string HistoryCsvRow(const HistoryRecord& record)
{
    std::string csv;
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        csv += (f == 0 ? "" : ",") + CsvField(record.fields[f].value_or(""));
    }
    return csv + "\r\n";
}

std::string HistoryCsv(const std::vector<HistoryRecord>& records)
{
    std::string csv = HistoryCsvHeader();
    for (const HistoryRecord& record : records) {
        csv += HistoryCsvRow(record);
    }
    return csv;
}

bool AsksForHistory(const std::vector<std::string>& arguments)
{
    return std::find(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(), "--history") !=
           arguments.end();
}

namespace {

bool Selected(const HistoryQuery& query, const HistoryRecord& record)
{
    return query.sinceTime.empty() || (record[kStarted] && *record[kStarted] >= query.sinceTime);
}

// One pass over the history: `each` sees every selected record.
template <typename Each>
void ForEachRecord(CHistoryReader& reader, const HistoryQuery& query, Each each)
{
    HistoryRecord record;
    while (reader.Next(record)) {
        if (Selected(query, record)) {
            each(record);
        }
    }
}

// The table: every selected record measured in a first pass, written in a
// second that reads no further than the first did.
bool WriteTable(const std::string& path, const HistoryQuery& query, const MoCatalogue* texts, int columns,
                CHistoryReader& first, std::ostream& out, std::string& problem)
{
    CHistoryTable table(texts, columns);
    uint64_t runs = 0;
    uint64_t older = 0;
    HistoryRecord record;
    while (first.Next(record)) {
        if (Selected(query, record)) {
            table.Measure(record);
            ++runs;
        } else {
            ++older;
        }
    }
    if (runs == 0 && older > 0) {
        out << Localize(texts, FormatText(PluralText(static_cast<long>(older),
                                                     "No update recorded since %s; %d older run is recorded.",
                                                     "No update recorded since %s; %d older runs are recorded."),
                                          {SafeText(query.since), std::to_string(older)}))
            << "\n";
        return true;
    }
    if (runs == 0) {
        const std::string where = SafeText(path.empty() ? N_("the history") : path);
        out << Localize(texts, FormatText(N_("No update is recorded in %s."), {where})) << "\n";
        return true;
    }
    CHistoryReader second;
    if (!second.Open(path, problem)) {
        return false;
    }
    second.StopAt(first.BytesRead());
    out << table.Heading();
    ForEachRecord(second, query, [&](const HistoryRecord& r) { out << table.Row(r); });
    return true;
}

}  // namespace

int ReportHistory(const std::vector<std::string>& arguments, const std::string& path, const MoCatalogue* texts,
                  int columns, std::ostream& out, std::ostream& err)
{
    HistoryQuery query;
    if (!ParseQuery(arguments, query)) {
        err << kUsage;
        return 2;
    }
    std::string problem;
    if (!ReadSince(query, texts, problem)) {
        err << problem;
        return 2;
    }
    CHistoryReader reader;
    bool ok = path.empty() || reader.Open(path, problem);
    if (ok) {
        uint64_t runs = 0;
        switch (query.format) {
        case HistoryFormat::Json:
            out << kHistoryJsonStart;
            ForEachRecord(reader, query, [&](const HistoryRecord& r) { out << HistoryJsonRun(r, runs++ == 0); });
            out << HistoryJsonEnd(runs);
            break;
        case HistoryFormat::Csv:
            out << HistoryCsvHeader();
            ForEachRecord(reader, query, [&](const HistoryRecord& r) { out << HistoryCsvRow(r); });
            break;
        case HistoryFormat::Table: ok = WriteTable(path, query, texts, columns, reader, out, problem); break;
        }
    }
    if (!ok) {
        err << "zentrix-update: " << Localize(texts, problem) << "\n";
        return 1;
    }
    if (const std::string warning = BadLinesWarning(reader.BadLines(), path); !warning.empty()) {
        err << "zentrix-update: " << Localize(texts, warning) << "\n";
    }
    return 0;
}

HistoryReport ReportHistory(const std::vector<std::string>& arguments, const std::string& path,
                            const MoCatalogue* texts, int columns)
{
    std::ostringstream out;
    std::ostringstream err;
    HistoryReport report;
    report.exitCode = ReportHistory(arguments, path, texts, columns, out, err);
    report.out = out.str();
    report.err = err.str();
    return report;
}
