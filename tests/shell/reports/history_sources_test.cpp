// SPDX-License-Identifier: GPL-3.0-or-later
// Histories read, merged and summed up per calculator, and their CSV cells.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "shell/reports/csv_cell.h"
#include "shell/reports/fleet_view.h"
#include "shell/reports/history_merge.h"
#include "shell/reports/history_reader.h"

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
    std::ofstream out(dir / name);
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
                EXPECT_NE(FleetCsvRow(s).find(",no,yes\r\n"), std::string::npos);
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
