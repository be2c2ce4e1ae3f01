// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/history_report.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/safe_text.h"
#include "i18n/localize.h"
#include "i18n/text_format.h"

namespace {

constexpr const char* kUsage = "zentrix-update: usage: zentrix-update --history [--json | --csv] [--since DATE]\n";

struct HistoryQuery {
    HistoryFormat format = HistoryFormat::Table;
    std::string since;   // an ISO date or time; empty: every record
};

// "YYYY-MM-DD", optionally followed by a time ("THH:MM[:SS][Z]").
bool IsIsoDate(const std::string& text)
{
    static constexpr std::string_view kPattern = "dddd-dd-dd";
    if (text.size() < kPattern.size()) {
        return false;
    }
    for (size_t i = 0; i < kPattern.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) {
            return false;
        }
    }
    return text.size() == kPattern.size() || text[kPattern.size()] == 'T';
}

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
    return query.since.empty() || IsIsoDate(query.since);
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
                            const MoCatalogue* texts, int columns)
{
    HistoryReport report;
    HistoryQuery query;
    if (!ParseQuery(arguments, query)) {
        report.err = kUsage;
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
    if (!query.since.empty()) {
        std::erase_if(records, [&](const HistoryRecord& r) { return !r[kStarted] || *r[kStarted] < query.since; });
    }
    switch (query.format) {
    case HistoryFormat::Json: report.out = HistoryJson(records); break;
    case HistoryFormat::Csv: report.out = HistoryCsv(records); break;
    case HistoryFormat::Table:
        if (records.empty()) {
            const std::string where = SafeText(path.empty() ? N_("the history") : path);
            report.out = Localize(texts, FormatText(N_("No update is recorded in %s."), {where})) + "\n";
        } else {
            report.out = HistoryTable(records, texts, columns);
        }
        break;
    }
    return report;
}
