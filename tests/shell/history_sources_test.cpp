// SPDX-License-Identifier: GPL-3.0-or-later
// Histories read, merged and summed up per calculator, and their CSV cells:
// the cases where a slip shows the user a wrong history.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "shell/csv_cell.h"
#include "shell/fleet_view.h"
#include "shell/history_merge.h"
#include "shell/history_reader.h"

namespace {

namespace fs = std::filesystem;

// A run that ended at `ended` ("HH:MM" of one day).
HistoryRecord Ran(const std::string& ended, const char* result, const char* serial = nullptr,
                  const char* label = nullptr)
{
    HistoryRecord record;
    record.fields[kEnded] = "2026-03-02T" + ended + ":00Z";
    record.fields[kResult] = result;
    record.fields[kHost] = "lab";
    record.fields[kUsbPort] = "1-2";
    if (serial != nullptr) {
        record.fields[kUsbSerial] = serial;
    }
    if (label != nullptr) {
        record.fields[kLabel] = label;
    }
    return record;
}

class HistoryFiles : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(m_dir); }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string File(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(m_dir / name);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
        return (m_dir / name).string();
    }
    fs::path m_dir = fs::temp_directory_path() / ("zentrix-sources-" + std::to_string(std::random_device()()));
};

TEST_F(HistoryFiles, ReaderCountsTheLinesThatAreNotRecords)
{
    const std::string record = FormatHistoryLine(Ran("10:00", "updated"));
    const struct {
        std::vector<std::string> lines;
        size_t records;
        uint64_t bad;
        uint64_t first;
    } cases[] = {
        {{record, "{\"ended\": \"2026", record}, 2, 1, 2},
        {{"not json", record, std::string(CHistoryReader::kMaxLineBytes + 1, ' ')}, 1, 2, 1},
        {{R"({"__CURSOR": "c", "MESSAGE_ID": "someone else", "ZENTRIX_RECORD": "{}"})", record}, 1, 0, 0},
    };
    for (const auto& c : cases) {
        CHistoryReader reader;
        Message problem;
        ASSERT_TRUE(reader.Open(File("h.jsonl", c.lines), problem));
        size_t records = 0;
        for (HistoryRecord read; reader.Next(read);) {
            ++records;
        }
        EXPECT_EQ(records, c.records) << c.lines[0];
        EXPECT_EQ(reader.BadLines().count, c.bad) << c.lines[0];
        EXPECT_EQ(reader.BadLines().first, c.first) << c.lines[0];
    }
}

TEST_F(HistoryFiles, MergeKeepsTimeOrderShowsACopyOnceAndAFutureRecordWhereItWasRead)
{
    const auto line = [](const std::string& ended, const char* result) {
        return FormatHistoryLine(Ran(ended, result));
    };
    const struct {
        const char* what;
        std::vector<std::string> a, b;
        std::string shown;   // result@HH:MM of each record in order, * when future-dated
        uint64_t copies;
    } cases[] = {
        {"two files interleaved", {line("10:00", "a"), line("12:00", "c")}, {line("11:00", "b")},
         "a@10:00 b@11:00 c@12:00 ", 0},
        {"a copy in both, a quick second run", {line("10:00", "a"), line("10:00", "b")}, {line("10:00", "a")},
         "a@10:00 b@10:00 ", 1},
        {"dated far ahead", {line("10:00", "a"), "{\"ended\": \"2999-01-01T00:00:00Z\", \"result\": \"f\"}",
                             line("12:00", "c")}, {line("11:00", "b")},
         "a@10:00 f@2999-01-01T00:00:00Z* b@11:00 c@12:00 ", 0},
    };
    for (const auto& c : cases) {
        CHistoryMerge merge;
        Message problem;
        ASSERT_TRUE(merge.Open({{File("a", c.a)}, {File("b", c.b)}}, problem,
                               std::chrono::system_clock::from_time_t(1772470000)));   // 2026-03-02
        std::string shown;
        for (HistoryRecord record; merge.Next(record);) {
            const std::string ended = *record[kEnded];
            shown += *record[kResult] + "@" + (ended.rfind("2026", 0) == 0 ? ended.substr(11, 5) : ended) +
                     (merge.FutureDated() ? "* " : " ");
        }
        EXPECT_EQ(shown, c.shown) << c.what;
        EXPECT_EQ(merge.Copies(), c.copies) << c.what;
    }
}

TEST(FleetView, ACalculatorIsKnownByItsSerialItsLabelOrItsSharedPort)
{
    const struct {
        const char* what;
        std::vector<std::pair<HistoryRecord, bool>> runs;   // a record, and whether it is future-dated
        std::string states;   // serial|label|last run|port shared, per calculator
    } cases[] = {
        {"a future-dated record is not the last run",
         {{Ran("10:00", "updated", "S1"), false}, {Ran("23:00", "failed", "S1"), true}},
         "S1||2026-03-02T10:00:00Z|0 "},
        {"and gives way to any other",
         {{Ran("23:00", "failed", "S1"), true}, {Ran("10:00", "updated", "S1"), false}},
         "S1||2026-03-02T10:00:00Z|0 "},
        {"unlabelled calculators on one port are one",
         {{Ran("10:00", "updated"), false}, {Ran("11:00", "failed"), false}},
         "||2026-03-02T11:00:00Z|1 "},
        {"labels tell them apart",
         {{Ran("10:00", "updated", nullptr, "Desk 1"), false}, {Ran("11:00", "failed", nullptr, "Desk 2"), false}},
         "|Desk 1|2026-03-02T10:00:00Z|0 |Desk 2|2026-03-02T11:00:00Z|0 "},
    };
    for (const auto& c : cases) {
        CFleetView fleet;
        for (const auto& [record, future] : c.runs) {
            fleet.Add(record, future);
        }
        std::string states;
        fleet.ForEach([&](const CalculatorState& s) {
            states += s.serial + "|" + s.label + "|" + s.lastRun + "|" + (s.portShared ? "1 " : "0 ");
        });
        EXPECT_EQ(states, c.states) << c.what;
    }
}

TEST(HistoryCsv, CellsAreQuotedAndNeverAFormula)
{
    const struct {
        std::string in, out;
    } cases[] = {
        {"5.9.2", "5.9.2"},
        {"a, b", "\"a, b\""},
        {"say \"no\"", "\"say \"\"no\"\"\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"-1+2", "'-1+2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\\tx"},
        {"a\nb\x1b", "a\\nb\\x1b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HistoryCsvCell(c.in), c.out) << c.in;
    }
}

}  // namespace
