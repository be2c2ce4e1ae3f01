// SPDX-License-Identifier: GPL-3.0-or-later
// Histories read, merged and summed up per calculator, and their CSV cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "i18n/safe_text.h"
#include "shell/records/system_log.h"
#include "shell/reports/csv_cell.h"
#include "shell/reports/fleet_view.h"
#include "shell/reports/history_merge.h"
#include "shell/reports/history_reader.h"
#include "shell/reports/history_report.h"
#include "shell/reports/retry_list.h"

namespace {

namespace fs = std::filesystem;

// A run on port 1-2 of host "lab" that ended at HH:MM of 2 March 2026.
HistoryRecord Ran(const std::string& ended, const char* result, const char* serial = nullptr,
                  const char* label = nullptr)
{
    HistoryRecord record;
    record.fields[kEnded] = "2026-03-02T" + ended + ":00Z";
    record.fields[kResult] = result;
    record.fields[kHost] = "lab";
    record.fields[kUsbPort] = "1-2";
    record.fields[kUsbSerial] = serial != nullptr ? std::optional<std::string>(serial) : std::nullopt;
    record.fields[kLabel] = label != nullptr ? std::optional<std::string>(label) : std::nullopt;
    return record;
}

std::string Line(const std::string& ended, const char* result) { return FormatHistoryLine(Ran(ended, result)); }

std::string File(const fs::path& dir, const char* name, const std::vector<std::string>& lines)
{
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);   // the bytes as given, on Windows too
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    return (dir / name).string();
}

const fs::path kDir = fs::temp_directory_path() / ("zentrix-sources-" + std::to_string(std::random_device()()));

TEST(HistorySources, ReaderCountsBadLinesAndMergeKeepsOrderCopiesOnceAndFutureRecordsInPlace)
{
    const struct {
        std::vector<std::string> a, b;
        std::string shown;   // result@HH:MM in the merge's order, * when future-dated
        uint64_t copies, bad, firstBad;   // bad lines of `a`
    } cases[] = {
        {{Line("10:00", "a"), Line("12:00", "c")}, {Line("11:00", "b")}, "a@10:00 b@11:00 c@12:00 ", 0, 0, 0},
        {{Line("10:00", "a"), Line("10:00", "b")}, {Line("10:00", "a")}, "a@10:00 b@10:00 ", 1, 0, 0},
        {{Line("10:00", "a"), R"({"ended": "2999-01-01T00:00:00Z", "result": "f"})", Line("12:00", "c")}, {Line("11:00", "b")}, "a@10:00 f@* b@11:00 c@12:00 ", 0, 0, 0},
        {{"not json", Line("10:00", "a"), "{\"ended\": \"2026", std::string(CHistoryReader::kMaxLineBytes + 1, ' '),
          R"({"__CURSOR": "c", "MESSAGE_ID": "another program's", "ZENTRIX_RECORD": "{}"})"},
         {}, "a@10:00 ", 0, 3, 1},
    };
    for (const auto& c : cases) {
        CHistoryMerge merge;
        Message problem;
        ASSERT_TRUE(merge.Open({{File(kDir, "a", c.a)}, {File(kDir, "b", c.b)}}, problem,
                               std::chrono::system_clock::from_time_t(1772470000)));   // 2 March 2026
        std::string shown;
        for (HistoryRecord record; merge.Next(record);) {
            shown += *record[kResult] + "@" + (merge.FutureDated() ? "* " : record[kEnded]->substr(11, 5) + " ");
        }
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(merge.Copies(), c.copies) << c.shown;
        CHistoryReader reader;
        ASSERT_TRUE(reader.Open(File(kDir, "a", c.a), problem));
        for (HistoryRecord record; reader.Next(record);) {
        }
        EXPECT_EQ(reader.BadLines().count, c.bad) << c.shown;
        EXPECT_EQ(reader.BadLines().first, c.firstBad) << c.shown;
    }
    fs::remove_all(kDir);
}

// What a Windows event export holds of `line`: XML's five characters as
// entities, as wevtutil writes a text.
std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : c == '"' ? "&quot;" : std::string(1, c);
    }
    return out;
}

std::string Hex(const std::string& bytes)
{
    std::string out;
    for (const unsigned char c : bytes) {
        out += "0123456789ABCDEF"[c >> 4];
        out += "0123456789ABCDEF"[c & 15];
    }
    return out;
}

// An exported event of `provider`: the run's line as the first text; the
// record as the second text, the data, both or neither.
std::string Event(const char* provider, const std::string& computer, const std::string& record, bool asText,
                  bool asData)
{
    return "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System><Provider Name='" +
           std::string(provider) + "'/><EventID Qualifiers='0'>1</EventID><Level>2</Level><Computer>" + computer +
           "</Computer><Security/></System><EventData><Data>failed: ZX-84 &lt;Desk 3&gt;</Data>" +
           (asText ? "<Data>" + XmlEscaped(record) + "</Data>" : "") +
           (asData ? "<Binary>" + Hex(record) + "</Binary>" : "") + "</EventData></Event>";
}

// Text as UTF-16LE after its byte order mark, as PowerShell redirects it.
std::string Utf16(const std::string& utf8)
{
    std::string out = "\xFF\xFE";
    for (size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        const size_t size = DecodeUtf8(std::string_view(utf8).substr(at), code);
        at += size == 0 ? 1 : size;
        const auto unit = [&](uint32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

// Other pipelines' files: rsyslog's lines with the "@cee:" record, in both
// of its time formats, and Windows event exports on one line or spread over
// many, quoted either way, with or without their data, in UTF-8 or UTF-16.
// Each record's host is the one the log recorded; other programs' entries
// are passed over; the program's own that hold no record are bad lines.
TEST(HistorySources, SyslogFilesAndWindowsEventExportsGiveTheRecordsTheyHold)
{
    HistoryRecord labelled = Ran("10:00", "failed", "ZX84-00731", "Desk \xC3\xA9 \xF0\x9F\x98\x80 <3> & \"x\"");
    const std::string a = FormatHistoryLine(labelled);
    const std::string b = Line("11:00", "updated");
    const std::string cee = CeeMessage(labelled, a);
    const std::string pretty =
        "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\">\r\n  <System>\r\n"
        "    <Provider Name=\"zentrix-update\" />\r\n    <EventID Qualifiers=\"0\">1</EventID>\r\n"
        "    <Computer>LAB-7</Computer>\r\n  </System>\r\n  <EventData>\r\n    <Data>updated</Data>\r\n    <Binary>" +
        Hex(b) + "</Binary>\r\n  </EventData>\r\n</Event>\r\n";
    const std::string events = "<?xml version='1.0'?>\r\n<Events>" + Event("zentrix-update", "PC&amp;1", a, true, true) +
                               Event("Winlogon", "PC1", a, true, true) + Event("zentrix-update", "PC2", a, true, false) +
                               "\r\n" + Event("zentrix-update", "PC3", "{\"torn", true, true) + "\r\n" + pretty +
                               "</Events>\r\n";
    const struct {
        std::string text;
        std::string shown;   // result@host label, in the file's order
        uint64_t bad, firstBad;
    } cases[] = {
        {"Dec 11 07:00:00 room-12 zentrix-update[4242]: " + cee + "\n"
         "Dec 11 07:00:01 room-12 CRON[1]: (root) CMD (run-parts /etc/cron.hourly)\n"
         "Dec 11 07:00:02 room-12 zentrix-update[4243]: updated: ZX-84 at /dev/ttyACM0, OS 5.2\n"
         "2026-12-11T07:00:03.512345+01:00 lab-3 zentrix-update: @cee: " + b.substr(0, 40) + "\n"
         "2026-12-11T07:00:04.512345+01:00 lab-3 zentrix-update: " + cee + "\r\n"
         "not a log line\n"
         "<13>Dec  1 07:00:05 lab-4 zentrix-update[9]:  " + cee + "\n",
         "failed@room-12 failed@lab-3 failed@lab-4 ", 2, 4},
        {events, "failed@PC&1 failed@PC2 updated@LAB-7 ", 1, 3},
        {Utf16(events), "failed@PC&1 failed@PC2 updated@LAB-7 ", 1, 3},
        {"\xEF\xBB\xBF" + a + "\n", "failed@lab ", 0, 0},
        {"\r\n" + Event("zentrix-update", "PC1", a, false, true) + "<Event><System><Provider Name='zentrix-update'/>",
         "failed@PC1 ", 1, 2},
    };
    for (const auto& c : cases) {
        const std::string path = File(kDir, "export", {c.text});
        CHistoryReader reader;
        Message problem;
        ASSERT_TRUE(reader.Open(path, problem));
        std::string shown;
        for (HistoryRecord record; reader.Next(record);) {
            shown += *record[kResult] + "@" + record[kHost].value_or("?") + " ";
            if (record[kLabel]) {
                EXPECT_EQ(record[kLabel], labelled[kLabel]) << c.text;
                EXPECT_EQ(record[kUsbSerial], "ZX84-00731");
            }
        }
        EXPECT_EQ(shown, c.shown) << c.text;
        EXPECT_EQ(reader.BadLines().count, c.bad) << c.text;
        EXPECT_EQ(reader.BadLines().first, c.firstBad) << c.text;
    }
    fs::remove_all(kDir);
}

// A district that collects through rsyslog or Windows Event Forwarding sees
// its calculators as one that collects the history files does: the same
// rows, with tags, sites and reason codes, from the same runs.
TEST(HistorySources, SyslogFilesAndEventExportsListTheSameCalculatorsAsTheHistoryFiles)
{
    const auto run = [](const char* host, const char* ended, const char* result, const char* serial, const char* tag,
                        const char* code) {
        HistoryRecord r = Ran(ended, result, serial, tag != nullptr ? "Cart 2" : nullptr);
        r.fields[kHost] = host;
        r.fields[kStarted] = "2026-03-02T" + std::string(ended) + ":00Z";
        r.fields[kModel] = "ZX-84";
        r.fields[kOsBefore] = "01.04.0000";
        r.fields[kOsImage] = "01.05.0000";
        r.fields[kSite] = "North High";
        r.fields[kAssetTag] = tag != nullptr ? std::optional<std::string>(tag) : std::nullopt;
        r.fields[kReasonCode] = code != nullptr ? std::optional<std::string>(code) : std::nullopt;
        return r;
    };
    const std::vector<HistoryRecord> runs = {
        run("lab-1", "08:00", "failed", "ZX-1", nullptr, "link-lost"),
        run("lab-2", "08:10", "updated", "ZX-1", nullptr, nullptr),
        run("lab-1", "08:20", "failed", "ZX-2", nullptr, "wrong-model"),
        run("lab-2", "08:30", "failed", nullptr, "ZX-0042", "not-answering"),
        run("lab-2", "08:40", "failed", nullptr, nullptr, "stopped"),
        run("lab-1", "08:50", "current", "ZX-3", nullptr, nullptr),
    };
    std::string lines, syslog, events = "<?xml version='1.0'?>\r\n<Events>";
    for (const HistoryRecord& r : runs) {
        const std::string line = FormatHistoryLine(r);
        lines += line + "\n";
        syslog += "Mar  2 " + r[kEnded]->substr(11, 8) + " " + *r[kHost] + " zentrix-update[77]: " +
                  CeeMessage(r, line) + "\n";
        events += Event("zentrix-update", *r[kHost], line, true, true) + "\r\n";
    }
    events += "</Events>\r\n";
    const auto show = [](const std::string& path, bool byCalculator) {
        HistoryOptions query;
        query.asked = true;
        query.format = HistoryFormat::Csv;
        query.from = {path};
        query.byCalculator = byCalculator;
        return ReportHistory(query, "");
    };
    const std::string jsonLines = File(kDir, "history.jsonl", {lines});
    const HistoryReport fleet = show(jsonLines, true);
    ASSERT_EQ(fleet.exitCode, 0) << fleet.err;
    EXPECT_EQ(std::count(fleet.out.begin(), fleet.out.end(), '\n'), 6) << fleet.out;   // a heading and 5 calculators
    EXPECT_NE(fleet.out.find("ZX-1,,ZX-84,01.05.0000,updated,2026-03-02T08:10:00Z,lab-2,"), std::string::npos);
    EXPECT_NE(fleet.out.find(",Cart 2,no,no,ZX-0042,North High,not-answering\r\n"), std::string::npos) << fleet.out;
    for (const std::string& text : {syslog, Utf16(events)}) {
        const std::string path = File(kDir, "collected", {text});
        const HistoryReport collected = show(path, true);
        EXPECT_EQ(collected.out, fleet.out) << text;
        EXPECT_EQ(collected.err, "");
        EXPECT_EQ(show(path, false).out, show(jsonLines, false).out) << text;
    }
    fs::remove_all(kDir);
}

TEST(HistorySources, ACalculatorIsKnownByItsSerialItsLabelOrItsSharedPort)
{
    const struct {
        std::vector<std::pair<HistoryRecord, bool>> runs;   // a record, and whether it is future-dated
        std::string states;   // serial|label|last run|port shared, per calculator
    } cases[] = {
        {{{Ran("10:00", "updated", "S1"), false}, {Ran("23:00", "failed", "S1"), true}}, "S1||10:00|0 "},
        {{{Ran("23:00", "failed", "S1"), true}, {Ran("10:00", "updated", "S1"), false}}, "S1||10:00|0 "},
        {{{Ran("10:00", "updated"), false}, {Ran("11:00", "failed"), false}}, "||11:00|1 "},
        {{{Ran("10:00", "updated", nullptr, "Desk 1"), false}, {Ran("11:00", "failed", nullptr, "Desk 2"), false}},
         "|Desk 1|10:00|0 |Desk 2|11:00|0 "},
    };
    for (const auto& c : cases) {
        CFleetView fleet;
        for (const auto& [record, future] : c.runs) {
            fleet.Add(record, future);
        }
        std::string states;
        fleet.ForEach([&](const CalculatorState& s) {
            states += s.serial + "|" + s.label + "|" + s.lastRun.substr(11, 5) + (s.portShared ? "|1 " : "|0 ");
        });
        EXPECT_EQ(states, c.states);
    }
}

// Where "OS now" comes from: an update read back after its restart is
// confirmed, one that was not is assumed, and a later run that finds the
// calculator below what an update put there contradicts it, which --needs
// lists whatever version it asks for.
TEST(HistorySources, OsNowIsConfirmedAssumedReportedOrContradicted)
{
    const auto run = [](const char* ended, const char* result, const char* before, const char* after = nullptr) {
        HistoryRecord r = Ran(ended, result, "S1");
        r.fields[kOsBefore] = before;
        r.fields[kOsImage] = "01.05.0000";
        if (after != nullptr) {
            r.fields[kOsAfter] = after;
            r.fields[kConfirmed] = "true";
        }
        return r;
    };
    const struct {
        std::vector<HistoryRecord> runs;
        std::string osNow, from;
        bool needsOld;   // listed by --needs 01.04.0000
    } cases[] = {
        {{run("10:00", "updated", "01.00.0000", "01.05.0000")}, "01.05.0000", "confirmed", false},
        {{run("10:00", "updated", "01.00.0000")}, "01.05.0000", "updated", false},
        {{run("10:00", "checked", "01.02.0000")}, "01.02.0000", "reported", true},
        {{run("10:00", "updated", "01.00.0000"), run("11:00", "checked", "01.00.0000")}, "01.00.0000", "contradicted",
         true},
        {{run("10:00", "updated", "01.00.0000", "01.05.0000"), run("11:00", "current", "01.05.0000")}, "01.05.0000",
         "reported", false},
        {{run("10:00", "updated", "01.00.0000"), run("11:00", "checked", "01.04.0000"),
          run("12:00", "updated", "01.04.0000", "01.05.0000")},
         "01.05.0000", "confirmed", false},
    };
    for (const auto& c : cases) {
        CFleetView fleet;
        for (const HistoryRecord& record : c.runs) {
            fleet.Add(record, false);
        }
        fleet.ForEach([&](const CalculatorState& s) {
            EXPECT_EQ(s.osNow, c.osNow);
            EXPECT_EQ(s.osFrom, c.from);
            EXPECT_EQ(NeedsUpdate(s, "01.04.0000"), c.needsOld) << c.from;
        });
    }
}

// Two calculators under one name are two rows, the failed one among those
// that need the update: a label at two ports, a serial number at two ports
// at once (a set). One serial number seen at two places one after the
// other is one calculator that moved.
TEST(HistorySources, TwoCalculatorsUnderOneNameAreTwoRowsAndNeitherHidesTheOthersFailure)
{
    const auto at = [](const char* started, const char* ended, const char* result, const char* serial,
                       const char* label, const char* port) {
        HistoryRecord record = Ran(ended, result, serial, label);
        record.fields[kStarted] = "2026-03-02T" + std::string(started) + ":00Z";
        record.fields[kUsbPort] = serial != nullptr ? std::optional<std::string>(port) : std::nullopt;
        record.fields[kDevice] = serial != nullptr ? "usb:1:9" : port;
        record.fields[kOsImage] = "01.05.0000";
        return record;
    };
    const struct {
        std::vector<HistoryRecord> runs;
        std::string rows;   // serial|label|port|result|name shared|needs 01.05.0000, per row
    } cases[] = {
        {{at("10:00", "10:05", "failed", "S1", nullptr, "1-2"), at("10:01", "10:06", "updated", "S1", nullptr, "1-3")},
         "S1||1-2|failed|1|1 S1||1-3|updated|1|0 "},
        {{at("10:00", "10:05", "updated", "S1", nullptr, "1-2"), at("11:00", "11:05", "failed", "S1", nullptr, "1-3"),
          at("12:00", "12:05", "updated", "S1", nullptr, "1-2")},
         "S1|||updated|0|0 "},
        {{at("10:00", "10:05", "failed", nullptr, "Desk 3", "/dev/ttyUSB0"),
          at("10:30", "10:35", "updated", nullptr, "Desk 3", "/dev/ttyUSB1")},
         "|Desk 3|/dev/ttyUSB0|failed|1|1 |Desk 3|/dev/ttyUSB1|updated|1|0 "},
        {{at("10:00", "10:05", "failed", nullptr, "Desk 3", "/dev/ttyUSB0"),
          at("10:30", "10:35", "updated", nullptr, "Desk 3", "/dev/ttyUSB0")},
         "|Desk 3|/dev/ttyUSB0|updated|0|0 "},
    };
    for (const auto& c : cases) {
        CFleetView fleet;
        for (const HistoryRecord& record : c.runs) {
            fleet.Add(record);
        }
        std::string rows;
        fleet.ForEach([&](const CalculatorState& s) {
            rows += s.serial + "|" + s.label + "|" + s.port + "|" + s.lastResult + (s.nameShared ? "|1" : "|0") +
                    (NeedsUpdate(s, "01.05.0000") ? "|1 " : "|0 ");
            if (s.nameShared) {
                EXPECT_NE(FleetCsvRow(s).find(",no,yes,,,\r\n"), std::string::npos);
                EXPECT_NE(FleetJsonRow(s, true).find("\"name_shared\": true}"), std::string::npos);
                EXPECT_NE(SharedNameNote(s).English().find(s.serial.empty() ? "The label Desk 3" : "serial number S1"),
                          std::string::npos);
            }
        });
        EXPECT_EQ(rows, c.rows);
    }
}

TEST(HistorySources, CsvCellsAreQuotedAndNeverAFormula)
{
    const std::pair<std::string, std::string> cases[] = {
        {"5.9.2", "5.9.2"}, {"a, b", "\"a, b\""}, {"say \"no\"", "\"say \"\"no\"\"\""}, {"-1+2", "'-1+2"},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""}, {"@SUM(A1)", "'@SUM(A1)"}, {"\tx", "'\\tx"},
        {"a\nb\x1b", "a\\nb\\x1b"}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(HistoryCsvCell(in), out) << in;
    }
}

}  // namespace

// What --retry-failed does again: of the named set (or the newest), each
// calculator whose last record there is neither updated nor current, known
// by its serial, else its label, else its port, else its path; another
// set's records and a calculator that came right later are left out.
TEST(RetryList, TheLastWordOnEachCalculatorOfTheSetCounts)
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-retry-" + std::to_string(std::random_device{}()));
    const auto record = [](const char* set, const char* result, const char* serial, const char* label,
                           const char* port, const char* device) {
        HistoryRecord r;
        r.fields[kSetId] = set != nullptr ? std::optional<std::string>(set) : std::nullopt;
        r.fields[kResult] = result;
        r.fields[kUsbSerial] = serial != nullptr ? std::optional<std::string>(serial) : std::nullopt;
        r.fields[kLabel] = label != nullptr ? std::optional<std::string>(label) : std::nullopt;
        r.fields[kUsbPort] = port != nullptr ? std::optional<std::string>(port) : std::nullopt;
        r.fields[kDevice] = device;
        return FormatHistoryLine(r);
    };
    const char* older = "20261210T080000Z-0001";
    const char* newer = "20261211T080000Z-00ab";
    const std::string path = File(dir, "history.jsonl", {
        record(older, "failed", "ZX-9", nullptr, "1-4", "usb:1:9"),
        record(newer, "failed", "ZX-1", nullptr, "1-2", "usb:1:5"),      // by serial: failed, then updated
        record(newer, "updated", "ZX-1", nullptr, "1-3", "usb:1:8"),
        record(newer, "failed", nullptr, "Desk 3", nullptr, "/dev/ttyUSB0"),   // by label
        record(newer, "current", "ZX-2", nullptr, "1-5", "usb:1:6"),
        record(newer, "failed", nullptr, nullptr, "1-6", "usb:1:7"),    // by port
        record(newer, "unsupported", nullptr, nullptr, nullptr, "/dev/ttyS1"),   // by path
        record(nullptr, "failed", "ZX-3", nullptr, "1-7", "usb:1:3"),   // a single update: no set
    });
    RetryList list;
    Message problem;
    ASSERT_TRUE(ReadRetryList(path, "last", list, problem)) << problem.English();
    EXPECT_EQ(list.setId, newer);
    ASSERT_EQ(list.targets.size(), 3u);
    const struct {
        UsbLocation usb;
        std::string path;
        int target;
    } calculators[] = {
        {{"ZX-1", "1-9", "", ""}, "usb:2:1", -1},        // updated in the end
        {{"", "", "", "Desk 3"}, "/dev/ttyUSB1", 0},      // its label, on another port
        {{"ZX-5", "1-6", "", ""}, "usb:1:12", 1},        // the port: the record knew no serial
        {{}, "/dev/ttyS1", 2},
        {{"ZX-9", "1-4", "", ""}, "usb:1:9", -1},        // the older set's
    };
    for (const auto& c : calculators) {
        EXPECT_EQ(RetryTargetOf(list, c.usb, c.path), c.target) << c.path << " " << c.usb.serial;
    }
    ASSERT_TRUE(ReadRetryList(path, older, list, problem));
    ASSERT_EQ(list.targets.size(), 1u);
    EXPECT_EQ(list.targets[0].serial, "ZX-9");
    EXPECT_FALSE(ReadRetryList(path, "20261201T000000Z-0000", list, problem));
    EXPECT_NE(problem.English().find("no record of the set 20261201T000000Z-0000"), std::string::npos);
    const std::string none = File(dir, "none.jsonl", {record(nullptr, "failed", "ZX-3", nullptr, "1-7", "usb:1:3")});
    EXPECT_FALSE(ReadRetryList(none, "last", list, problem));
    fs::remove_all(dir);
}
