// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/history_report.h"

#include <cstdint>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/reports/fleet_view.h"
#include "shell/reports/history_merge.h"
#include "shell/reports/history_spool.h"

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
        contents.warnings.push_back(BadLinesWarning(bad, SafeText(path)));
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
        csv += f == kReasonMessage ? "" : (f == 0 ? "" : ",") + std::string(kHistoryFieldNames[f]);
    }
    return csv + "\r\n";
}

std::string HistoryCsvRow(const HistoryRecord& record)
{
    std::string csv;
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        csv += f == kReasonMessage ? "" : (f == 0 ? "" : ",") + HistoryCsvCell(record.fields[f].value_or(""));
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

namespace {

bool Selected(const HistoryOptions& query, const HistoryRecord& record)
{
    return (query.sinceTime.empty() || (record[kStarted] && *record[kStarted] >= query.sinceTime)) &&
           (query.reasonCode.empty() || record[kReasonCode] == query.reasonCode);
}

// One pass over the history: `each` sees every selected record, until
// `out` can take no more (its reader has gone: nothing more is read).
template <typename Each>
void ForEachRecord(CHistoryMerge& records, const HistoryOptions& query, std::ostream& out, Each each)
{
    HistoryRecord record;
    while (out && records.Next(record)) {
        if (Selected(query, record)) {
            each(record);
        }
    }
}

// The sources of the records: the files of --from, else the user's history
// at `path` (none when it has no place). Standard input is read where it is,
// or, for the table's two passes, from a copy in a temporary file.
bool ListSources(const HistoryOptions& query, const std::string& path, bool twoPasses, SpoolFile& spool,
                 std::vector<HistorySource>& sources, Message& problem)
{
    if (query.from.empty()) {
        if (!path.empty()) {
            sources.push_back({path, nullptr});
        }
        return true;
    }
    for (const std::string& name : query.from) {
        if (name != "-") {
            std::error_code error;
            if (!std::filesystem::exists(name, error)) {
                // The system's words for why: no such file, or what stopped the look.
                const std::string why = error ? error.message() : std::generic_category().message(ENOENT);
                problem = Message(N_("the history %s cannot be read: %s"), {SafeText(name), why});
                return false;
            }
            sources.push_back({name, nullptr});
            continue;
        }
        if (twoPasses) {
            spool = SpoolInput(stdin, kHistorySpoolLimit, problem);
            if (!spool) {
                return false;
            }
        }
        sources.push_back({name, twoPasses ? spool.get() : stdin});
    }
    return true;
}

// The table: every selected record measured in a first pass, written in a
// second that reads no further than the first did.
bool WriteTable(const std::vector<HistorySource>& sources, const MessageArg& where, const HistoryOptions& query,
                const MoCatalogue* texts, int columns, CHistoryMerge& first, std::ostream& out, Message& problem)
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
        out << Message::Count("No update recorded since %s; %d older run is recorded.",
                              "No update recorded since %s; %d older runs are recorded.", older,
                              {SafeText(query.since), std::to_string(older)})
                   .Render(texts)
            << "\n";
        return true;
    }
    if (runs == 0) {
        out << Message(N_("No update is recorded in %s."), {where}).Render(texts) << "\n";
        return true;
    }
    for (const HistorySource& source : sources) {
        if (source.file != nullptr) {
            std::rewind(source.file);
        }
    }
    CHistoryMerge second;
    if (!second.Open(sources, problem)) {
        return false;
    }
    second.StopWhere(first);
    out << table.Heading();
    ForEachRecord(second, query, out, [&](const HistoryRecord& r) { out << table.Row(r); });
    return true;
}

// Each calculator's state from the selected records, flagged where only a
// record dated in the future speaks for it.
void CollectFleet(const HistoryOptions& query, CHistoryMerge& records, CFleetView& fleet)
{
    HistoryRecord record;
    while (records.Next(record)) {
        if (Selected(query, record)) {
            fleet.Add(record, records.FutureDated());
        }
    }
}

// The calculators the query asks for (with --needs, those that need an
// update), each given to `write`.
template <typename Write>
void ForEachShown(const HistoryOptions& query, const CFleetView& fleet, Write write)
{
    fleet.ForEach([&](const CalculatorState& c) {
        const bool unseen = query.notSeenSinceTime.empty() || c.lastRun < query.notSeenSinceTime;
        if (unseen && (!query.needs || NeedsUpdate(c, *query.needs))) {
            write(c);
        }
    });
}

void WriteFleetTable(const HistoryOptions& query, const MoCatalogue* texts, const CFleetView& fleet, std::ostream& out)
{
    CFleetTable table(texts);
    uint64_t shown = 0;
    ForEachShown(query, fleet, [&](const CalculatorState& c) {
        table.Measure(c);
        ++shown;
    });
    if (shown == 0) {
        out << Message(query.needs                          ? N_("No calculator needs an update.")
                       : !query.notSeenSinceTime.empty() ? N_("Every calculator recorded was seen since then.")
                                                          : N_("No calculator is recorded."))
                   .Render(texts)
            << "\n";
        return;
    }
    out << table.Heading();
    std::vector<Message> notes;
    ForEachShown(query, fleet, [&](const CalculatorState& c) {
        out << table.Row(c);
        if (c.portShared) {
            notes.push_back(SharedPortNote(c));
        }
        if (c.nameShared) {
            notes.push_back(SharedNameNote(c));
        }
    });
    for (const Message& note : notes) {
        out << note.Render(texts) << "\n";
    }
}

// --summary: "3 of 41 calculators need 01.05.0000; the oldest record is of
// 2026-09-02"; true when any needs it.
bool WriteFleetSummary(const HistoryOptions& query, const MoCatalogue* texts, const CFleetView& fleet,
                       std::ostream& out)
{
    uint64_t all = 0;
    uint64_t needing = 0;
    std::string oldest;
    fleet.ForEach([&](const CalculatorState& c) {
        ++all;
        needing += NeedsUpdate(c, *query.needs) ? 1 : 0;
        if (!c.lastRun.empty() && (oldest.empty() || c.lastRun < oldest)) {
            oldest = c.lastRun;
        }
    });
    const std::string version = SafeText(*query.needs);
    Message line = Message::Count("%d of %d calculator needs %s", "%d of %d calculators need %s", all,
                                  {std::to_string(needing), std::to_string(all), version});
    if (!oldest.empty()) {
        line = Message(N_("%s; the oldest record is of %s"), {line, SafeText(oldest.substr(0, 10))});
    }
    out << line.Render(texts) << "\n";
    return needing > 0;
}

// The calculators' table, CSV or JSON; true when --summary found one that
// needs the version.
bool WriteFleet(const HistoryOptions& query, const MoCatalogue* texts, CHistoryMerge& records, std::ostream& out)
{
    CFleetView fleet;
    CollectFleet(query, records, fleet);
    if (query.summary) {
        return WriteFleetSummary(query, texts, fleet, out);
    }
    uint64_t shown = 0;
    switch (query.format) {
    case HistoryFormat::Json:
        out << kFleetJsonStart;
        ForEachShown(query, fleet, [&](const CalculatorState& c) { out << FleetJsonRow(c, shown++ == 0); });
        out << FleetJsonEnd(shown);
        break;
    case HistoryFormat::Csv:
        out << FleetCsvHeader();
        ForEachShown(query, fleet, [&](const CalculatorState& c) { out << FleetCsvRow(c); });
        break;
    case HistoryFormat::Table: WriteFleetTable(query, texts, fleet, out); break;
    }
    return false;
}

bool WriteReport(const HistoryOptions& query, const std::vector<HistorySource>& sources, const MessageArg& where,
                 const MoCatalogue* texts, int columns, CHistoryMerge& records, std::ostream& out,
                 Message& problem, bool& someNeed)
{
    if (query.byCalculator) {
        someNeed = WriteFleet(query, texts, records, out);
        return true;
    }
    uint64_t runs = 0;
    switch (query.format) {
    case HistoryFormat::Json:
        out << kHistoryJsonStart;
        ForEachRecord(records, query, out, [&](const HistoryRecord& r) { out << HistoryJsonRun(r, runs++ == 0); });
        out << HistoryJsonEnd(runs);
        return true;
    case HistoryFormat::Csv:
        out << HistoryCsvHeader();
        ForEachRecord(records, query, out, [&](const HistoryRecord& r) { out << HistoryCsvRow(r); });
        return true;
    case HistoryFormat::Table: break;
    }
    return WriteTable(sources, where, query, texts, columns, records, out, problem);
}

}  // namespace

int ReportHistory(const HistoryOptions& query, const std::string& path, const MoCatalogue* texts, int columns,
                  std::ostream& out, const COwnLines& err)
{
    const bool twoPasses = query.format == HistoryFormat::Table && !query.byCalculator;
    SpoolFile spool(nullptr, &std::fclose);
    std::vector<HistorySource> sources;
    CHistoryMerge records;
    const MessageArg where = !query.from.empty() ? MessageArg(Message(N_("the files given")))
                             : path.empty()        ? MessageArg(Message(N_("the history")))
                                                   : MessageArg(SafeText(path));
    Message problem;
    bool someNeed = false;
    bool ok = ListSources(query, path, twoPasses, spool, sources, problem) && records.Open(sources, problem) &&
              WriteReport(query, sources, where, texts, columns, records, out, problem, someNeed);
    if (ok && !out.flush()) {
        ok = false;
        problem = Message(N_("the report could not be written whole: its reader has gone"));
    }
    if (!ok) {
        err.Say(problem, OwnLineKind::Error);
        return 1;
    }
    for (const Message& warning : records.Warnings()) {
        err.Say(warning);
    }
    return someNeed ? 1 : 0;
}

HistoryReport ReportHistory(const HistoryOptions& query, const std::string& path, const MoCatalogue* texts,
                            int columns)
{
    std::ostringstream out;
    std::ostringstream err;
    HistoryReport report;
    report.exitCode = ReportHistory(query, path, texts, columns, out, COwnLines(err, texts));
    report.out = out.str();
    report.err = err.str();
    return report;
}
