// SPDX-License-Identifier: GPL-3.0-or-later
// History records as JSON lines: texts from outside come out as valid JSON
// and valid UTF-8, lines read back as written, broken lines are refused, and
// many writers at once leave whole lines only.
#include "shell/records/history.h"
#include "shell/records/history_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <random>
#include <regex>
#include <thread>
#include <vector>

#include "i18n/stored_message.h"
#include "shell/reports/history_report.h"
#include "shell/reports/history_spool.h"
#include "shell/reports/history_table.h"
#include "support/quiet_port.h"

namespace {

// TZ set (null: unset) and taken by the C library's local time.
void SetTimeZone(const char* zone)
{
#ifdef _WIN32
    _putenv_s("TZ", zone != nullptr ? zone : "");
    _tzset();
#else
    if (zone != nullptr) {
        setenv("TZ", zone, 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
#endif
}

namespace fs = std::filesystem;

TEST(HistoryLine, TextsFromOutsideBecomeValidJsonStrings)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"01.05.0000", R"("01.05.0000")"},
        {"say \"no\" \\ now", R"("say \"no\" \\ now")"},
        {std::string("\x01\n\x1b[2J\x7f", 7), R"("\u0001\u000a\u001b[2J\u007f")"},
        {std::string("a\0b", 3), R"("a\u0000b")"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},   // é € 😀 kept
        {"\xFF", "\"\xEF\xBF\xBD\""},                             // not UTF-8 at all
        {"a\xE2\x82", "\"a\xEF\xBF\xBD\xEF\xBF\xBD\""},           // cut off mid-sequence
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},             // overlong '/'
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},   // a surrogate
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},   // past U+10FFFF
        {"\xE2\x82\"", "\"\xEF\xBF\xBD\xEF\xBF\xBD\\\"\""},       // a quote never hides in a sequence
        // C1 controls and the marks that turn text around are escaped too.
        {"\xC2\x9B" "2J \xE2\x80\xAE \xE2\x81\xA6 \xE2\x80\x8F \xD8\x9C", R"("\u009b2J \u202e \u2066 \u200f \u061c")"},
        {"\xE2\x80\xA8 \xE2\x80\xA9 \xE2\x80\x8B \xEF\xBB\xBF", R"("\u2028 \u2029 \u200b \ufeff")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.in), c.out) << ::testing::PrintToString(c.in);
        // A reason kept as a message writes its outside texts the same way,
        // whole and as an argument.
        EXPECT_EQ(StoreMessage(Message::Raw(c.in)).value_or(""), c.out) << ::testing::PrintToString(c.in);
        EXPECT_EQ(StoreMessage(Message(N_("cannot open %s: %s"), {c.in, std::string("x")})).value_or(""),
                  R"({"m": "cannot open %s: %s", "a": [)" + c.out + R"(, "x"]})")
            << ::testing::PrintToString(c.in);
    }
}

TEST(HistoryLine, ReadsBackWhatWasWrittenAndRefusesBrokenLines)
{
    HistoryRecord written;
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        written.fields[f] = std::string(kHistoryFieldNames[f]) + " \"x\"\t\\ \xC3\xA9";
    }
    written.fields[kBlockSize] = "256";
    written.fields[kReason].reset();
    const std::string line = FormatHistoryLine(written);
    EXPECT_NE(line.find(R"("block_size": 256, )"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("reason": null, )"), std::string::npos) << line;
    HistoryRecord read;
    ASSERT_TRUE(ParseHistoryLine(line, read)) << line;
    EXPECT_EQ(read.fields, written.fields);

    // Escapes another writer may use, unknown names and missing ones.
    ASSERT_TRUE(ParseHistoryLine(R"( { "model" : "\u0041\ud83d\ude00\/" , "future": true, "result":"failed" } )", read));
    EXPECT_EQ(read[kModel], "A\xF0\x9F\x98\x80/");
    EXPECT_EQ(read[kResult], "failed");
    EXPECT_FALSE(read[kDevice]);

    // A journal export's line: the record its ZENTRIX_RECORD holds, fields
    // that are not text (arrays of bytes) passed over; another entry of the
    // journal is no record and no error.
    // Only the program's own entries are runs (its MESSAGE_ID), and the host
    // is the one the journal recorded, whatever the entry says.
    const std::string record = R"("ZENTRIX_RECORD": )" + JsonString(line);
    const std::string ours = R"("MESSAGE_ID": "5c7e2a0f9b3d4e61a8f04c2d19b6e735", )";
    HistoryRecord fromJournal;
    EXPECT_EQ(ReadRecordLine(R"({"__CURSOR": "s=1", "ZENTRIX_REASON": [110, 10], )" + ours +
                                 R"("_HOSTNAME": "room-12", )" + record + "}",
                             fromJournal),
              LineKind::Record);
    HistoryRecord fromRoom12 = written;
    fromRoom12.fields[kHost] = "room-12";
    EXPECT_EQ(fromJournal.fields, fromRoom12.fields);
    for (const std::string& forged : {R"({"__CURSOR": "s=1", )" + record + "}",
                                      R"({"__CURSOR": "s=1", "MESSAGE_ID": "0123", )" + record + "}"}) {
        EXPECT_EQ(ReadRecordLine(forged, fromJournal), LineKind::OtherJournalEntry) << forged;
    }
    EXPECT_EQ(ReadRecordLine(R"({"__CURSOR": "s=2", "MESSAGE": "another program's"})", fromJournal),
              LineKind::OtherJournalEntry);
    EXPECT_EQ(ReadRecordLine(R"({"__CURSOR": "s=3", "X": [[1]], "ZENTRIX_RECORD": "{}"})", fromJournal), LineKind::Bad);
    EXPECT_EQ(ReadRecordLine(R"({"__CURSOR": "s=3", )" + ours + R"("ZENTRIX_RECORD": "{\"a\": [1]}"})", fromJournal),
              LineKind::Bad);

    for (const char* broken : {
             R"({"started": "2026-12-01T08:00:00Z", "dev)",   // torn
             R"({"started": "2026-12-01T08:00:00Z")",         // torn after a value
             R"({"a": "b",})",
             R"({"a": "b"} {"c": "d"})",
             R"({"a": [1]})",
             R"({"a": "\udc00"})",                              // a lone low surrogate
             R"({"a": "\x41"})",
             "{\"a\": \"tab\there\"}",                          // a raw control character
             R"({"a": 1.})",
             R"(["a"])",
             "",
         }) {
        HistoryRecord untouched = written;
        EXPECT_FALSE(ParseHistoryLine(broken, untouched)) << broken;
        EXPECT_EQ(untouched.fields, written.fields) << broken;
    }
}

// The table on terminals of several widths, in a time zone three and a half
// hours behind UTC: the least needed columns give way in their order, the
// reason goes whole under its row once it no longer fits beside it, no
// line reaches the last column, and the times are local with their offset.
TEST(HistoryTable, FitsTheTerminalGivingUpTheLeastNeededColumnsFirst)
{
    const std::string reason = "the OS image, block 34 of 69: the link to the calculator was lost (Broken pipe); "
                               "check the cable, then start the update again";
    HistoryRecord updated;
    HistoryRecord failed;
    ASSERT_TRUE(ParseHistoryLine(R"({"started": "2026-12-01T08:00:00Z", "device": "usb:1:7", "usb_serial": "ZX-0042", )"
                                 R"("model": "365E", "os_before": "01.00.0000", "os_image": "01.05.0000", )"
                                 R"("result": "updated", "mode": "all"})",
                                 updated));
    ASSERT_TRUE(ParseHistoryLine(R"({"started": "2026-12-02T02:00:00Z", "device": "/dev/ttyS0", )"
                                 R"("os_image": "01.05.0000", "result": "failed", "mode": "single", "reason": ")" +
                                     reason + "\"}",
                                 failed));
    const char* const zone = std::getenv("TZ");
    const std::string oldZone = zone != nullptr ? zone : "";
    SetTimeZone("XST3:30");
    const struct {
        int columns;
        std::vector<std::string> headings;
    } cases[] = {
        {240, {"Started", "Result", "Device", "Serial", "Model", "OS before", "Image", "Mode", "Reason"}},
        {200, {"Started", "Result", "Device", "Serial", "Model", "OS before", "Image", "Mode"}},
        {80, {"Started", "Result", "Device", "Model", "OS before", "Image"}},
        {60, {"Started", "Result", "Device", "Image"}},
        {40, {"Started", "Result", "Device"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        std::istringstream table(HistoryTable({updated, failed}, nullptr, c.columns));
        std::vector<std::string> lines;
        for (std::string line; std::getline(table, line);) {
            EXPECT_LT(line.size(), static_cast<size_t>(c.columns)) << line;
            lines.push_back(line);
        }
        ASSERT_GE(lines.size(), 3u);
        std::vector<std::string> headings;
        for (std::istringstream words(std::regex_replace(lines[0], std::regex("  +"), "|")); std::getline(words, lines[0], '|');) {
            headings.push_back(lines[0]);
        }
        EXPECT_EQ(headings, c.headings);
        EXPECT_EQ(lines[1].rfind("2026-12-01 04:30 -0330  updated  ", 0), 0u) << lines[1];
        EXPECT_EQ(lines[2].rfind("2026-12-01 22:30 -0330  failed   ", 0), 0u) << lines[2];
        std::string under;
        for (size_t i = 3; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind("    ", 0), 0u) << lines[i];
            under += (under.empty() ? "" : " ") + lines[i].substr(4);
        }
        const bool beside = c.headings.back() == "Reason";
        EXPECT_EQ(under, beside ? "" : reason);
        EXPECT_EQ(lines[2].find(reason) != std::string::npos, beside);
    }
    // Off a terminal: every column, the times in UTC.
    EXPECT_EQ(HistoryTable({updated}, nullptr, 0),
              "Started (UTC)        Result   Device   Serial   Model  OS before   Image       Mode  Reason\n"
              "2026-12-01 08:00:00  updated  usb:1:7  ZX-0042  365E   01.00.0000  01.05.0000  all\n");
    SetTimeZone(zone != nullptr ? oldZone.c_str() : nullptr);
}

// The history windows' filter: the result as recorded, and a text any
// cell holds, letter case aside (German's capitals too).
TEST(HistoryTable, TheWindowsFilterByResultAndByTextInAnyCell)
{
    const std::vector<std::string> cells = {"2026-12-01 09:00 +0100", "Fehlgeschlagen", "Pult Ä3", "usb:1:7"};
    const struct {
        const char* result;
        const char* text;
        bool shown;
    } cases[] = {
        {"", "", true}, {"failed", "  ", true}, {"updated", "", false}, {"failed", "USB:1", true},
        {"", " pult ä3 ", true}, {"", "fehlgeschlagen", true}, {"", "usb:2", false}, {"failed", "ZX", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HistoryRunShown("failed", cells, c.result, c.text), c.shown) << c.result << "|" << c.text;
    }
}

// Writers on many threads (each append opens, locks and closes the file as
// separate programs do) after a power cut left a torn line: every record
// arrives whole, once, and the torn line stays the only unreadable one.
TEST(HistoryFile, ManyWritersAtOnceLeaveWholeLinesOnly)
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-history-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const std::string path = (dir / "state" / "zentrix-update" / "history.jsonl").string();
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << R"({"started": "2026-12-01T0)";

    constexpr int kWriters = 8;
    constexpr int kRecordsEach = 40;
    const std::string padding(6000, 'p');   // lines longer than a pipe's atomic write
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int n = 0; n < kRecordsEach; ++n) {
                HistoryRecord record;
                record.fields[kDevice] = std::to_string(w) + "/" + std::to_string(n);
                record.fields[kReason] = padding;
                Message problem;
                failures[w] += AppendHistoryLine(path, FormatHistoryLine(record), {}, problem) ? 0 : 1;
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kWriters, 0));

    std::ostringstream text;
    {
        std::ifstream in(path, std::ios::binary);   // closed before the folder goes (Windows)
        text << in.rdbuf();
    }
    const HistoryContents contents = ReadHistoryText(text.str(), path);
    EXPECT_EQ(contents.warnings.size(), 1u);
    std::set<std::string> seen;
    for (const HistoryRecord& record : contents.records) {
        ASSERT_TRUE(record[kDevice] && record[kReason]);
        EXPECT_EQ(*record[kReason], padding);
        EXPECT_TRUE(seen.insert(*record[kDevice]).second) << *record[kDevice];
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters * kRecordsEach));
    fs::remove_all(dir);
}

#ifndef _WIN32
// The table's copy of standard input is made in TMPDIR, gone from the
// folder at once, and refused past its limit with a line that says what to
// do instead.
TEST(HistorySpool, StandardInputIsCopiedIntoTmpdirUpToItsLimit)
{
    const fs::path folder = fs::temp_directory_path() / ("zentrix-spool-" + std::to_string(getpid()));
    fs::create_directories(folder);
    setenv("TMPDIR", folder.c_str(), 1);
    const std::string input(3 * 1024 * 1024, 'x');
    for (const uint64_t limit : {uint64_t{4} << 20, uint64_t{2} << 20}) {
        std::unique_ptr<FILE, int (*)(FILE*)> from(std::tmpfile(), &std::fclose);
        std::fwrite(input.data(), 1, input.size(), from.get());
        std::rewind(from.get());
        Message problem;
        SpoolFile copy = SpoolInput(from.get(), limit, problem);
        EXPECT_TRUE(fs::is_empty(folder));
        if (limit < input.size()) {
            EXPECT_FALSE(copy);
            EXPECT_EQ(problem.Render(nullptr),
                      "standard input holds more than 2 MiB, more than a table is made of; show it with --json or --csv");
            continue;
        }
        ASSERT_TRUE(copy);
        const fs::path where = fs::read_symlink("/proc/self/fd/" + std::to_string(fileno(copy.get())));
        EXPECT_EQ(where.string().rfind(folder.string() + "/", 0), 0u) << where;
        std::string back(input.size() + 1, '\0');
        EXPECT_EQ(std::fread(back.data(), 1, back.size(), copy.get()), input.size());
    }
    unsetenv("TMPDIR");
    fs::remove_all(folder);
}
#endif

// The runs of one set, recorded at once after a stop was asked for (as
// when a station is ended by SIGTERM): each finds the history free of
// every program but its own process, so each is kept.
TEST(HistoryFile, AStopCostsNoneOfTheProcesssOwnRunsItsRecord)
{
    class CCountingPort : public CQuietPort {
    public:
        void Warn(const Message&) override { ++warnings; }
        int warnings = 0;
    };
    const fs::path dir = fs::temp_directory_path() / ("zentrix-history-" + std::to_string(std::random_device()()));
    StopRequests stopped;
    stopped.terminate = 1;
    const HistorySettings settings{true, (dir / "history.jsonl").string(), "1.0", &stopped, false};
    constexpr int kRuns = 16;
    constexpr int kRecordsEach = 6;
    std::vector<CCountingPort> ports(kRuns);
    std::vector<std::thread> runs;
    for (CCountingPort& port : ports) {
        runs.emplace_back([&settings, &port] {
            for (int n = 0; n < kRecordsEach; ++n) {
                UpdateOutcome reached;
                reached.facts.opened = true;
                RecordRun(settings, "all", {}, reached, port);
            }
        });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    std::ostringstream text;
    {
        std::ifstream in(settings.path, std::ios::binary);
        text << in.rdbuf();
    }
    EXPECT_EQ(ReadHistoryText(text.str(), settings.path).records.size(), static_cast<size_t>(kRuns * kRecordsEach));
    for (const CCountingPort& port : ports) {
        EXPECT_EQ(port.warnings, 0);
    }
    fs::remove_all(dir);
}

// A stream whose reader has gone after `room` bytes, as standard output is
// when `| head -c 100` has had its bytes (and SIGPIPE does not end us).
class CClosedAfter : public std::streambuf {
public:
    explicit CClosedAfter(size_t room) : m_room(room) {}

protected:
    int overflow(int c) override { return m_room-- > 0 ? c : traits_type::eof(); }

private:
    size_t m_room;
};

#ifndef _WIN32   // a FIFO on standard input
// A report whose reader has gone reads no further, even from a standard
// input that never ends, and says it did not get through.
TEST(HistoryReport, AReportWhoseReaderHasGoneStopsReadingAndFails)
{
    const fs::path dir = fs::temp_directory_path() / ("zentrix-closed-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path fifo = dir / "endless";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Standard input on the FIFO for this test (put back at its end).
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_GE(writer, 0);
    fcntl(reader, F_SETFL, 0);
    const int savedInput = dup(STDIN_FILENO);
    dup2(reader, STDIN_FILENO);
    close(reader);
    clearerr(stdin);
    HistoryRecord record;
    record.fields[kStarted] = "2026-12-01T08:00:00Z";
    record.fields[kEnded] = "2026-12-01T08:01:00Z";
    record.fields[kResult] = "updated";
    const std::string line = FormatHistoryLine(record) + "\n";
    for (int i = 0; i < 100; ++i) {   // less than the pipe holds: nothing waits for room
        ASSERT_EQ(write(writer, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
    // The writer's end stays open: a report that reads on waits until the
    // hang guard closes it.
    std::atomic<bool> done{false};
    bool timedOut = false;
    std::thread guard([&] {
        for (int i = 0; i < 200 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        timedOut = !done;
        close(writer);
    });
    HistoryOptions query;
    query.asked = true;
    query.format = HistoryFormat::Json;
    query.from = {"-"};
    CClosedAfter closed(100);
    std::ostream out(&closed);
    std::ostringstream err;
    const int code = ReportHistory(query, "", nullptr, 80, out, COwnLines(err, nullptr));
    done = true;
    guard.join();
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    clearerr(stdin);
    EXPECT_FALSE(timedOut) << "read on after its reader had gone";
    EXPECT_EQ(code, 1);
    EXPECT_EQ(err.str(), "zentrix-update: the report could not be written whole: its reader has gone\n");
    fs::remove_all(dir);
}
#endif

}  // namespace
