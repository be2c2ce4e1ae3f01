// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/history_report.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/safe_text.h"
#include "i18n/localize.h"
#include "i18n/text_format.h"
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

std::string Cell(const HistoryRecord& record, HistoryField field)
{
    const std::optional<std::string>& value = record[field];
    return value ? SafeText(*value) : "-";
}

// "2026-12-07T19:35:25Z" as "2026-12-07 19:35:25".
std::string ShownTime(const HistoryRecord& record)
{
    std::string text = Cell(record, kStarted);
    if (text.size() == 20 && text[10] == 'T' && text.back() == 'Z') {
        text[10] = ' ';
        text.pop_back();
    }
    return text;
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
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
    size_t lineNumber = 0;
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
        } else {
            contents.warnings.push_back(
                FormatText(N_("line %d of %s is not a whole record (cut off when it was written?); it is skipped"),
                           {std::to_string(lineNumber), SafeText(path)}));
        }
    }
    return contents;
}

// Columns a text takes in a terminal: one per character (a UTF-8 sequence
// counts once).
size_t ShownWidth(const std::string& text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string HistoryTable(const std::vector<HistoryRecord>& records, const MoCatalogue* texts)
{
    struct Column {
        const char* title;
        std::string (*cell)(const HistoryRecord&);
    };
    static const Column kColumns[] = {
        {N_("Started (UTC)"), ShownTime},
        {N_("Result"), [](const HistoryRecord& r) { return Cell(r, kResult); }},
        {N_("Device"), [](const HistoryRecord& r) { return Cell(r, kDevice); }},
        {N_("Serial"), [](const HistoryRecord& r) { return Cell(r, kUsbSerial); }},
        {N_("Model"), [](const HistoryRecord& r) { return Cell(r, kModel); }},
        {N_("OS before"), [](const HistoryRecord& r) { return Cell(r, kOsBefore); }},
        {N_("Image"), [](const HistoryRecord& r) { return Cell(r, kOsImage); }},
        {N_("Mode"), [](const HistoryRecord& r) { return Cell(r, kMode); }},
        {N_("Reason"), [](const HistoryRecord& r) { return r[kReason] ? SafeText(*r[kReason], 1000) : std::string(); }},
    };
    constexpr size_t kCount = std::size(kColumns);
    std::vector<std::vector<std::string>> rows(1);
    for (const Column& column : kColumns) {
        rows[0].push_back(Localize(texts, column.title));
    }
    for (const HistoryRecord& record : records) {
        rows.emplace_back();
        for (const Column& column : kColumns) {
            rows.back().push_back(column.cell(record));
        }
    }
    // The headings (maybe translated) by characters, the cells by bytes as
    // they always were.
    const auto width = [&rows](size_t r, size_t c) { return r == 0 ? ShownWidth(rows[r][c]) : rows[r][c].size(); };
    size_t widths[kCount] = {};
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < kCount; ++c) {
            widths[c] = std::max(widths[c], width(r, c));
        }
    }
    std::string table;
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        std::string line;
        for (size_t c = 0; c < kCount; ++c) {
            line += row[c];
            if (c + 1 < kCount) {
                line += std::string(widths[c] - width(r, c) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}

std::string HistoryJson(const std::vector<HistoryRecord>& records)
{
    std::string json = "{\"schema_version\": 1, \"runs\": [";
    for (size_t i = 0; i < records.size(); ++i) {
        json += (i == 0 ? "\n  " : ",\n  ") + FormatHistoryLine(records[i]);
    }
    return json + (records.empty() ? "]}\n" : "\n]}\n");
}

std::string HistoryCsv(const std::vector<HistoryRecord>& records)
{
    std::string csv;
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        csv += (f == 0 ? "" : ",") + std::string(kHistoryFieldNames[f]);
    }
    csv += "\r\n";
    for (const HistoryRecord& record : records) {
        for (size_t f = 0; f < kHistoryFieldCount; ++f) {
            csv += (f == 0 ? "" : ",") + CsvField(record.fields[f].value_or(""));
        }
        csv += "\r\n";
    }
    return csv;
}

bool AsksForHistory(const std::vector<std::string>& arguments)
{
    return std::find(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(), "--history") !=
           arguments.end();
}

HistoryReport ReportHistory(const std::vector<std::string>& arguments, const std::string& path,
                            const MoCatalogue* texts)
{
    HistoryReport report;
    HistoryQuery query;
    if (!ParseQuery(arguments, query)) {
        report.err = kUsage;
        report.exitCode = 2;
        return report;
    }
    if (!ReadSince(query, texts, report.err)) {
        report.exitCode = 2;
        return report;
    }
    std::string text;
    std::error_code error;
    if (!path.empty() && std::filesystem::exists(path, error)) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream read;
        read << in.rdbuf();
        if (!in) {
            report.err = "zentrix-update: " +
                         Localize(texts, FormatText(N_("the history %s cannot be read"), {SafeText(path)})) + "\n";
            report.exitCode = 1;
            return report;
        }
        text = read.str();
    }
    HistoryContents contents = ReadHistoryText(text, path);
    for (const std::string& warning : contents.warnings) {
        report.err += "zentrix-update: " + Localize(texts, warning) + "\n";
    }
    std::vector<HistoryRecord>& records = contents.records;
    const size_t older = query.since.empty() ? 0 : std::erase_if(records, [&](const HistoryRecord& r) {
        return !r[kStarted] || *r[kStarted] < query.sinceTime;
    });
    switch (query.format) {
    case HistoryFormat::Json: report.out = HistoryJson(records); break;
    case HistoryFormat::Csv: report.out = HistoryCsv(records); break;
    case HistoryFormat::Table:
        if (records.empty() && older > 0) {
            report.out = Localize(texts, FormatText(PluralText(static_cast<long>(older),
                                                               "No update recorded since %s; %d older run is recorded.",
                                                               "No update recorded since %s; %d older runs are recorded."),
                                                    {SafeText(query.since), std::to_string(older)})) +
                         "\n";
        } else if (records.empty()) {
            const std::string where = SafeText(path.empty() ? N_("the history") : path);
            report.out = Localize(texts, FormatText(N_("No update is recorded in %s."), {where})) + "\n";
        } else {
            report.out = HistoryTable(records, texts);
        }
        break;
    }
    return report;
}
