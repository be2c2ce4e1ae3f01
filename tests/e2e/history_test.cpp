// SPDX-License-Identifier: GPL-3.0-or-later
// The history kept by the real zentrix-update: one record per calculator for
// every way a run ends, no record lost or torn when two programs update sets
// at once, a torn line skipped with one warning, a history that cannot be
// written only warned about, a lock held elsewhere waited for seconds at most,
// links refused, and --history in its three forms, hostile lines defused.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell/records/history_record.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"
#include "tests/e2e/terminal_screen.h"

namespace {

namespace fs = std::filesystem;

class History : public ::testing::Test {
protected:
    History()
    {
        m_dir = MakeDemoFolder("zentrix-history", ZENTRIX_SIM_BIN);
        m_journal = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        JournalSocket().string().copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(m_journal, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ~History() override
    {
        close(m_journal);
        m_calculators.clear();
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    // A simulated calculator serving one run; returns its pty's path.
    std::string StartCalculator(std::vector<std::string> options)
    {
        std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--runs", "1"};
        argv.insert(argv.end(), options.begin(), options.end());
        m_calculators.push_back(std::make_unique<CBackgroundProcess>(argv));
        return m_calculators.back()->ReadLine();
    }

    // zentrix-update on the console with its history under `state`.
    ProcessResult Update(const std::vector<std::string>& arguments, const std::string& devices,
                         const std::string& answers, const fs::path& state,
                         const std::string& configHome = "/nonexistent",
                         const std::string& machineDir = "/nonexistent") const
    {
        std::vector<std::string> argv = {"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv,
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=",
                           "ZENTRIX_REPLY_TIMEOUT=2", "TMPDIR=" + (m_dir / "scratch").string(),
                           "XDG_STATE_HOME=" + state.string(), "ZENTRIX_JOURNAL_SOCKET=" + JournalSocket().string(),
                           "XDG_CONFIG_HOME=" + configHome, "ZENTRIX_MACHINE_CONFIG_DIR=" + machineDir},
                          answers);
    }
    // The journal entries received so far, each after a line feed.
    std::vector<std::string> JournalEntries() const
    {
        std::vector<std::string> entries;
        std::string datagram(256 * 1024, '\0');
        for (ssize_t size; (size = recv(m_journal, datagram.data(), datagram.size(), 0)) > 0;) {
            entries.push_back("\n" + datagram.substr(0, static_cast<size_t>(size)));
        }
        return entries;
    }
    // The history lines of the journal entries received so far.
    std::vector<std::string> JournalRecords() const
    {
        std::vector<std::string> lines;
        for (const std::string& entry : JournalEntries()) {
            const size_t at = entry.find("\nZENTRIX_RECORD=");
            lines.push_back(at == std::string::npos ? "" : entry.substr(at + 16, entry.find('\n', at + 1) - at - 16));
        }
        return lines;
    }
    // --history and `arguments`; with `columns` > 0 on a terminal that
    // wide and `lines` high.
    ProcessResult ShowHistory(const std::vector<std::string>& arguments, int columns = 0, int lines = 24) const
    {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        // Off a terminal local time is UTC, so that local midnights (--since)
        // are known; on one it is an hour ahead, to be seen in the table.
        // No display: --history-window shows the table then.
        return RunProcess(argv, {"XDG_STATE_HOME=" + State().string(), columns > 0 ? "TZ=CET-1" : "TZ=UTC0", "DISPLAY="},
                          "", 0, 0, columns, lines);
    }

    fs::path State() const { return m_dir / "state"; }
    fs::path JournalSocket() const { return m_dir / "journal.socket"; }
    fs::path HistoryFile() const { return State() / "zentrix-update" / "history.jsonl"; }
    std::string Images() const { return (m_dir / "img").string(); }

    fs::path m_dir;
    int m_journal = -1;   // a private journal: every run's entry comes here
    std::vector<std::unique_ptr<CBackgroundProcess>> m_calculators;
};

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every line of the file, each of which must be a whole record.
std::vector<HistoryRecord> Records(const fs::path& file)
{
    std::vector<HistoryRecord> records;
    std::istringstream lines(ReadFile(file));
    for (std::string line; std::getline(lines, line);) {
        HistoryRecord record;
        EXPECT_TRUE(ParseHistoryLine(line, record)) << line;
        records.push_back(record);
    }
    return records;
}

std::string ThisHost()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

using Field = std::optional<std::string>;
const Field kNull;

struct Ending {
    const char* name;
    std::vector<std::string> options;
    Field model, osBefore, route, blockSize;
    std::string result;
    std::string reasonPart;   // empty: the reason is null
};

TEST_F(History, EveryEndingOfASetLeavesExactlyOneRecordOfItsOwn)
{
    const std::vector<Ending> set = {
        {"updated", {}, "365E", "01.00.0000", "os", "1024", "updated", ""},
        {"updated by the stub", {"--route", "stub", "--block-size", "256"}, "365E", kNull, "stub", "256", "updated", ""},
        {"current", {"--os-version", "02.00.0000"}, "365E", "02.00.0000", "os", "1024", "current",
         "already at or above the image's 01.05"},
        {"unsupported", {"--model", "12345678"}, "12345678", kNull, "os", "1024", "unsupported",
         "model code 12345678 is not one this program supports"},
        {"cut off", {"--fault", "hangup:300"}, "365E", "01.00.0000", "os", "1024", "failed",
         "the link to the calculator was lost"},
        {"silent", {"--fault", "silent:100"}, kNull, kNull, "os", "1024", "failed", "did not answer for 2 s"},
    };
    std::string devices;
    std::vector<std::string> paths;
    for (const Ending& e : set) {
        paths.push_back(StartCalculator(e.options));
        devices += paths.back() + ";";
    }
    const ProcessResult run = Update({"--all", Images()}, devices, "ok\nok\nok\ncancel\n", State());
    ASSERT_EQ(run.exitCode, 18) << run.err;
    EXPECT_EQ(run.err.find("history"), std::string::npos) << run.err;

    const std::vector<HistoryRecord> records = Records(HistoryFile());
    ASSERT_EQ(records.size(), set.size());
    // The journal got one entry per run, holding the run's history line.
    std::vector<std::string> lines;
    std::istringstream history(ReadFile(HistoryFile()));
    for (std::string line; std::getline(history, line);) {
        lines.push_back(line);
    }
    std::vector<std::string> journal = JournalRecords();
    std::sort(lines.begin(), lines.end());
    std::sort(journal.begin(), journal.end());
    EXPECT_EQ(journal, lines);
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
    for (size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE(set[i].name);
        const Ending& e = set[i];
        const auto mine = std::find_if(records.begin(), records.end(),
                                       [&](const HistoryRecord& r) { return r[kDevice] == paths[i]; });
        ASSERT_NE(mine, records.end());
        EXPECT_EQ(std::count_if(records.begin(), records.end(),
                                [&](const HistoryRecord& r) { return r[kDevice] == paths[i]; }),
                  1);
        const HistoryRecord& r = *mine;
        ASSERT_TRUE(r[kStarted] && r[kEnded]);
        EXPECT_TRUE(std::regex_match(*r[kStarted], iso)) << *r[kStarted];
        EXPECT_TRUE(std::regex_match(*r[kEnded], iso)) << *r[kEnded];
        EXPECT_LE(*r[kStarted], *r[kEnded]);
        EXPECT_EQ(r[kUsbSerial], kNull);
        EXPECT_EQ(r[kUsbPort], kNull);
        EXPECT_EQ(r[kModel], e.model);
        EXPECT_EQ(r[kOsBefore], e.osBefore);
        EXPECT_EQ(r[kOsImage], Field("01.05.0000"));
        EXPECT_EQ(r[kRoute], e.route);
        EXPECT_EQ(r[kBlockSize], e.blockSize);
        EXPECT_EQ(r[kResult], Field(e.result));
        if (e.reasonPart.empty()) {
            EXPECT_EQ(r[kReason], kNull);
        } else {
            ASSERT_TRUE(r[kReason]);
            EXPECT_NE(r[kReason]->find(e.reasonPart), std::string::npos) << *r[kReason];
        }
        EXPECT_EQ(r[kMode], Field("all"));
        EXPECT_EQ(r[kHost], Field(ThisHost()));
        EXPECT_TRUE(r[kProgramVersion] && !r[kProgramVersion]->empty());
    }
}

// A label given to a serial port names its calculator wherever the program
// names one: rows, summary, events, the record, the journal and every form
// of --history; a label's control characters are shown escaped.
TEST_F(History, ALabelNamesItsCalculatorEverywhereAndIsShownSafely)
{
    const std::string desk = StartCalculator({});
    const std::string cart = StartCalculator({});
    const fs::path config = m_dir / "config";
    fs::create_directories(config / "zentrix-update");
    std::ofstream(config / "zentrix-update" / "zentrix-update.conf")
        << "label = " << desk << " = Desk 3\nlabel = " << cart << " = Cart\x1b[2J B\n";
    const ProcessResult rows = Update({"--all", Images()}, desk, "ok\nok\nok\ncancel\n", State(), config.string());
    ASSERT_EQ(rows.exitCode, 18) << rows.err;
    EXPECT_NE(rows.out.find("\nupdated Desk 3\n"), std::string::npos) << rows.out;
    EXPECT_NE(rows.err.find(" Desk 3  updated"), std::string::npos) << rows.err;
    const ProcessResult events = Update({"--all", "--yes", "--json", Images()}, cart, "", State(), config.string());
    ASSERT_EQ(events.exitCode, 0) << events.err;
    const std::string escaped = R"("label": "Cart\\x1b[2J B")";
    EXPECT_EQ(std::count(events.out.begin(), events.out.end(), '\x1b'), 0);
    EXPECT_NE(events.out.find(", " + escaped + "}\n"), std::string::npos) << events.out;   // run-started

    const std::vector<HistoryRecord> records = Records(HistoryFile());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0][kLabel], Field("Desk 3"));
    EXPECT_EQ(records[1][kLabel], Field("Cart\\x1b[2J B"));
    const std::vector<std::string> journal = JournalEntries();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_NE(journal[0].find("\nZENTRIX_LABEL=Desk 3\n"), std::string::npos) << journal[0];
    EXPECT_NE(ShowHistory({"--history"}).out.find("  Desk 3  "), std::string::npos);
    EXPECT_NE(ShowHistory({"--history", "--json"}).out.find(R"("label": "Desk 3")"), std::string::npos);
    const std::string csv = ShowHistory({"--history", "--csv"}).out;
    EXPECT_EQ(csv.rfind("started,ended,device,usb_serial,usb_port,model,", 0), 0u) << csv;
    const size_t row = csv.find("," + desk + ",");
    ASSERT_NE(row, std::string::npos) << csv;
    // The label, then the reason's code, what was read back, the set.
    EXPECT_NE(csv.find(",Desk 3,,01.05.0000,true,", row), std::string::npos) << csv;
}

// The machine says where it is; a calculator's asset tag, like its label,
// comes from either file, and the district's view knows it by that tag.
TEST_F(History, TheMachinesSiteAndStationAndACalculatorsAssetTagGoWithItsRecords)
{
    const std::string desk = StartCalculator({});
    const fs::path config = m_dir / "config";
    const fs::path machine = m_dir / "machine";
    fs::create_directories(config / "zentrix-update");
    fs::create_directories(machine);
    std::ofstream(config / "zentrix-update" / "zentrix-update.conf")
        << "site = Not the user's word\nasset-tag = " << desk << " = ZX-0042\n";
    std::ofstream(machine / "zentrix-update.conf") << "site = North High\nstation-name = Lab 2 cart\n";
    const ProcessResult run =
        Update({"--all", "--yes", "--json", Images()}, desk, "", State(), config.string(), machine.string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(R"("site": "North High", "station": "Lab 2 cart", "asset_tag": "ZX-0042"})"),
              std::string::npos)
        << run.out;
    const std::vector<std::string> journal = JournalEntries();
    ASSERT_EQ(journal.size(), 1u);
    for (const char* field : {"\nZENTRIX_SITE=North High\n", "\nZENTRIX_STATION=Lab 2 cart\n", "\nZENTRIX_ASSET_TAG=ZX-0042\n"}) {
        EXPECT_NE(journal[0].find(field), std::string::npos) << journal[0];
    }
    const std::string fleet = ShowHistory({"--history", "--by-calculator", "--csv"}).out;
    EXPECT_NE(fleet.find(",no,no,ZX-0042,North High,\r\n"), std::string::npos) << fleet;
    const std::string table = ShowHistory({"--history", "--by-calculator"}).out;
    EXPECT_NE(table.find("Asset tag  Site"), std::string::npos) << table;
    // A bad line is said, and the rest of the file read.
    std::ofstream(machine / "zentrix-update.conf") << "asset-tag = ZX-9\nsite = North High\n";
    const ProcessResult warned =
        Update({"--all", "--yes", Images()}, StartCalculator({}), "", State(), config.string(), machine.string());
    EXPECT_NE(warned.err.find("an asset-tag line is asset-tag = DEVICE = TAG, not asset-tag = ZX-9"), std::string::npos)
        << warned.err;
}

TEST_F(History, TwoProgramsUpdatingSetsAtOnceLoseNoRecordAndTearNoLine)
{
    // Each set: calculators that end at about the same moment, so that the
    // two programs' appends meet.
    std::vector<std::string> devices(2);
    std::vector<std::string> paths;
    for (int set = 0; set < 2; ++set) {
        for (const char* version : {"01.00.0000", "02.00.0000", "03.00.0000", "04.00.0000"}) {
            paths.push_back(StartCalculator({"--os-version", version}));
            devices[set] += paths.back() + ";";
        }
    }
    ProcessResult runs[2];
    std::thread other([&] { runs[1] = Update({"--all", Images()}, devices[1], "ok\nok\nok\ncancel\n", State()); });
    runs[0] = Update({"--all", Images()}, devices[0], "ok\nok\nok\ncancel\n", State());
    other.join();
    EXPECT_EQ(runs[0].exitCode, 18) << runs[0].err;
    EXPECT_EQ(runs[1].exitCode, 18) << runs[1].err;

    const std::string text = ReadFile(HistoryFile());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<HistoryRecord> records = Records(HistoryFile());
    ASSERT_EQ(records.size(), paths.size()) << text;
    for (const std::string& path : paths) {
        EXPECT_EQ(std::count_if(records.begin(), records.end(),
                                [&](const HistoryRecord& r) { return r[kDevice] == path; }),
                  1)
            << path;
    }
}

TEST_F(History, ATornLastLineIsSkippedWithOneWarningAndTheNextRecordStaysWhole)
{
    fs::create_directories(HistoryFile().parent_path());
    const std::string earlier =
        R"({"started": "2026-12-01T08:00:00Z", "ended": "2026-12-01T08:01:00Z", "device": "/dev/ttyACM0", )"
        R"("result": "updated", "reason": null, "mode": "single"})";
    std::ofstream(HistoryFile(), std::ios::binary) << earlier << "\n" << R"({"started": "2026-12-01T09:00:00Z", "dev)";

    ProcessResult shown = ShowHistory({"--history"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.err, "zentrix-update: line 2 of " + HistoryFile().string() +
                             " is not a whole record (cut off when it was written?); it is skipped\n");
    EXPECT_NE(shown.out.find("2026-12-01 08:00:00  updated  /dev/ttyACM0"), std::string::npos) << shown.out;

    // A single update after the power cut: its record starts a line of its
    // own, after the torn one (and, as asked, only there).
    const std::string path = StartCalculator({});
    const ProcessResult run = Update({"--no-system-log", Images(), "0"}, path, "ok\nok\nok\ncancel\n", State());
    EXPECT_NE(run.out.find("Update is complete."), std::string::npos) << run.out;
    EXPECT_EQ(JournalRecords(), std::vector<std::string>());
    shown = ShowHistory({"--history", "--json"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(std::count(shown.err.begin(), shown.err.end(), '\n'), 1) << shown.err;
    EXPECT_NE(shown.out.find(R"("device": ")" + path + R"(", "usb_serial": null)"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find(R"("result": "updated", "reason": null, "mode": "single")"), std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find(R"("device": "/dev/ttyACM0")"), std::string::npos) << shown.out;
}

// A run that opened no calculator leaves no record of one, in the history
// or the journal, in single mode as in a set; the problem is still said,
// and in --json.
TEST_F(History, ARunThatFoundNoCalculatorLeavesNoRecord)
{
    const std::string gone = (m_dir / "unplugged").string();
    const std::vector<std::vector<std::string>> runs = {
        {Images(), "0"}, {"--yes", Images()}, {"--yes", "--json", Images()}, {"--all", "--yes", Images()}};
    for (const std::vector<std::string>& arguments : runs) {
        SCOPED_TRACE(arguments[0]);
        const ProcessResult run = Update(arguments, gone, "ok\nok\nok\ncancel\n", State());
        EXPECT_NE(run.exitCode, 0);
        const std::string said = arguments[1] == "--json" ? "\"event\"" : arguments[0] == "--all" ? "No calculator"
                                                                                                  : "cannot open";
        EXPECT_NE((run.out + run.err).find(said), std::string::npos) << run.out << run.err;
    }
    // The images missing: refused before any calculator is looked for.
    const std::string path = StartCalculator({});
    EXPECT_EQ(Update({"--yes", (m_dir / "no-images").string()}, path, "", State()).exitCode, 4);
    EXPECT_FALSE(fs::exists(State() / "zentrix-update" / "history.jsonl"));
    EXPECT_TRUE(JournalRecords().empty());
}

TEST_F(History, AHistoryThatCannotBeWrittenIsOneWarningAndTheResultStands)
{
    // A file where the history's folder should be: nothing can be made there.
    fs::create_directories(State());
    std::ofstream(State() / "zentrix-update") << "not a folder\n";
    const std::string path = StartCalculator({});
    const ProcessResult run = Update({Images(), "0"}, path, "ok\nok\nok\ncancel\n", State());
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_NE(run.out.find("Update is complete."), std::string::npos) << run.out;
    const std::string warning = "this run is not kept in the history: cannot make the folder " +
                                (State() / "zentrix-update").string();
    const size_t at = run.err.find(warning);
    EXPECT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(warning, at + 1), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(State() / "zentrix-update"), "not a folder\n");
    // The system log still has the run.
    const std::vector<std::string> journal = JournalRecords();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_NE(journal[0].find(R"("result": "updated")"), std::string::npos) << journal[0];
}

TEST_F(History, HistoryIsShownAsATableAsJsonAndAsCsv)
{
    fs::create_directories(HistoryFile().parent_path());
    const std::string first =
        R"({"started": "2026-12-01T08:00:00Z", "ended": "2026-12-01T08:01:10Z", "device": "usb:1:7", )"
        R"("usb_serial": "ZX-0042", "usb_port": "1-2.3", "model": "365E", "os_before": "01.00.0000", )"
        R"("os_image": "01.05.0000", "route": "os", "block_size": 1024, "result": "updated", "reason": null, )"
        R"("mode": "all", "host": "lab", "program_version": "1.0.0.1"})";
    const std::string second =
        R"({"started": "2026-12-02T10:00:00Z", "ended": "2026-12-02T10:00:03Z", "device": "/dev/ttyS0", )"
        R"("usb_serial": null, "usb_port": null, "model": null, "os_before": null, "os_image": "01.05.0000", )"
        R"("route": null, "block_size": null, "result": "failed", "reason": "it said \"no\", then\nnothing\u001b", )"
        R"("mode": "single", "host": "lab", "program_version": "1.0.0.1"})";
    std::ofstream(HistoryFile(), std::ios::binary) << first << "\n" << second << "\n";

    const std::string header = "started,ended,device,usb_serial,usb_port,model,os_before,os_image,route,block_size,"
                               "result,reason,mode,host,program_version,needs_update,image_sha256,stub_sha256,label,"
                               "reason_code,os_after,confirmed,set_id,retry_of,site,station,asset_tag\r\n";
    const std::string firstCsv =
        "2026-12-01T08:00:00Z,2026-12-01T08:01:10Z,usb:1:7,ZX-0042,1-2.3,365E,01.00.0000,01.05.0000,os,1024,"
        "updated,,all,lab,1.0.0.1,,,,,,,,,,,,\r\n";
    // Control bytes escaped as in the table.
    const std::string secondCsv = "2026-12-02T10:00:00Z,2026-12-02T10:00:03Z,/dev/ttyS0,,,,,01.05.0000,,,failed,"
                                  "\"it said \"\"no\"\", then\\nnothing\\x1b\",single,lab,1.0.0.1,,,,,,,,,,,,\r\n";
    const std::string tableHead =
        "Started (UTC)        Result   Device      Serial   Model  OS before   Image       Mode    Reason\n";
    const std::string firstRow =
        "2026-12-01 08:00:00  updated  usb:1:7     ZX-0042  365E   01.00.0000  01.05.0000  all\n";
    const std::string secondRow = "2026-12-02 10:00:00  failed   /dev/ttyS0  -        -      -           01.05.0000  "
                                  "single  it said \"no\", then\\nnothing\\x1b\n";
    // The JSON document holds each record as the program writes it: every
    // field, control characters as \u00XX. Records written before a field
    // existed (the reason as a message, the check's and the fingerprints'
    // fields, the label, the reason's code, the read-back and the set) show
    // it as null.
    const std::string newFields =
        R"(, "reason_message": null, "needs_update": null, "image_sha256": null, "stub_sha256": null, "label": null, )"
        R"("reason_code": null, "os_after": null, "confirmed": null, "set_id": null, "retry_of": null, "site": null, "station": null, "asset_tag": null})";
    std::string secondJson = second;
    secondJson.replace(secondJson.find("\\n"), 2, "\\u000a");
    secondJson.replace(secondJson.size() - 1, 1, newFields);
    const std::string firstJson = first.substr(0, first.size() - 1) + newFields;
    const std::string json = "{\"schema_version\": 1, \"runs\": [\n  " + firstJson + ",\n  " + secondJson + "\n]}\n";
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out;
    } cases[] = {
        {{"--history"}, 0, tableHead + firstRow + secondRow},
        {{"--history-window"}, 0, tableHead + firstRow + secondRow},
        {{"--history-window", "--device", "/dev/x"}, 2, ""},
        {{"--history", "--since", "2026-12-02"}, 0, "SECOND"},
        {{"--history", "--since=2026-12-03"}, 0, "No update recorded since 2026-12-03; 2 older runs are recorded.\n"},
        {{"--history", "--since", "2026-12-02T10:00:01+00:00"}, 0,
         "No update recorded since 2026-12-02T10:00:01+00:00; 2 older runs are recorded.\n"},
        {{"--history", "--since", "2026-12-02 11:00+0100"}, 0, "SECOND"},
        {{"--history", "--since", "2026-12-01T08:00:01Z"}, 0, "SECOND"},
        {{"--history", "--since", "yesterday"}, 0, "No update recorded since yesterday; 2 older runs are recorded.\n"},
        {{"--history", "--since", "9999d"}, 0, tableHead + firstRow + secondRow},
        {{"--history", "--since", "2026-02-30"}, 2, ""},
        {{"--history", "--since", "2026-12-01T24:00"}, 2, ""},
        {{"--history", "--since", "12d ago"}, 2, ""},
        {{"--history", "--json"}, 0, json},
        {{"--json", "--history", "--since", "2026-12-01T09:00"}, 0,
         "{\"schema_version\": 1, \"runs\": [\n  " + secondJson + "\n]}\n"},
        {{"--history", "--csv"}, 0, header + firstCsv + secondCsv},
        {{"--history", "--csv", "--since", "2027-01-01"}, 0, header},
        {{"--history", "--csv", "--json"}, 2, ""},
        {{"--history", "--since", "last week"}, 2, ""},
        {{"--history", "--since"}, 2, ""},
        {{"--history", "--device", "/dev/x"}, 2, ""},
        {{"--history", "--yes"}, 2, ""},
    };
    // The second record alone, as a table.
    const std::string secondOnly =
        "Started (UTC)        Result  Device      Serial  Model  OS before  Image       Mode    Reason\n"
        "2026-12-02 10:00:00  failed  /dev/ttyS0  -       -      -          01.05.0000  single  it said \"no\", "
        "then\\nnothing\\x1b\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const ProcessResult shown = ShowHistory(c.arguments);
        EXPECT_EQ(shown.exitCode, c.exitCode) << shown.err;
        EXPECT_EQ(shown.out, c.out == "SECOND" ? secondOnly : c.out);
        EXPECT_EQ(shown.err.empty(), c.exitCode == 0) << shown.err;
    }
    // A value that cannot be read is named, with the forms that can.
    EXPECT_EQ(ShowHistory({"--history", "--since", "last week"}).err,
              "zentrix-update: --since last week cannot be read: give YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS] (with Z or "
              "+HH:MM for a time not local), today, yesterday or Nd (N days ago)\n");
}

// A run's record line, as the program writes it.
std::string RunLine(const std::string& serial, const std::string& port, const std::string& host,
                    const std::string& started, const std::string& ended, const std::string& osBefore,
                    const std::string& result, const std::string& label = "")
{
    HistoryRecord record;
    auto& f = record.fields;
    f[kLabel] = label.empty() ? kNull : Field(label);
    f[kStarted] = "2026-12-01T" + started + ":00Z";
    f[kEnded] = "2026-12-01T" + ended + ":00Z";
    f[kDevice] = serial.empty() ? port : "usb:1:7";
    f[kUsbSerial] = serial.empty() ? kNull : Field(serial);
    f[kModel] = serial.empty() ? "ZX-83" : "ZX-84";
    f[kOsBefore] = osBefore;
    f[kOsImage] = "01.05.0000";
    f[kResult] = result;
    f[kReason] = result == "updated" ? kNull : Field("the cable came out");
    f[kReasonCode] = result == "failed" ? Field("link-lost") : kNull;
    f[kMode] = "all";
    f[kHost] = host;
    return FormatHistoryLine(record);
}

// The line of a journal export (journalctl -o json) holding `line`, logged
// on `host`.
std::string JournalExportLine(const std::string& line, const std::string& host)
{
    // A field that is not printable text comes as its bytes.
    return R"({"__CURSOR" : "s=1;i=2", "MESSAGE_ID" : "5c7e2a0f9b3d4e61a8f04c2d19b6e735", "ZENTRIX_RECORD" : )" +
           JsonString(line) + R"(, "ZENTRIX_REASON" : [ 110, 111, 10, 27 ], "_HOSTNAME" : ")" + host + "\"}";
}

// Calculators that one serial port served one after another: those with a
// label each stand for themselves, those without are one, and that is said.
TEST_F(History, ByCalculatorTellsLabelledCalculatorsOfOnePortApartAndSaysTheOthersAreNot)
{
    const fs::path file = m_dir / "cart.jsonl";
    std::ofstream(file, std::ios::binary)
        << RunLine("", "/dev/ttyUSB0", "b", "08:00", "08:01", "01.00.0000", "updated", "Desk 2") << "\n"
        << RunLine("", "/dev/ttyUSB0", "b", "08:02", "08:03", "01.00.0000", "failed", "Desk 1") << "\n"
        << RunLine("", "/dev/ttyUSB0", "b", "08:04", "08:05", "01.00.0000", "updated") << "\n"
        << RunLine("", "/dev/ttyUSB0", "b", "08:06", "08:07", "01.04.0000", "failed") << "\n";
    const auto show = [&](const char* format) {
        return RunProcess({ZENTRIX_UPDATE_BIN, "--history", "--from", file.string(), "--by-calculator", format},
                          {"XDG_STATE_HOME=" + State().string(), "TZ=UTC0"}, "");
    };
    EXPECT_EQ(show("--csv").out,
              "usb_serial,usb_port,model,os_now,last_result,last_run,host,os_now_from,os_now_date,image,label,port_shared,name_shared,asset_tag,site,reason_code\r\n"
              ",/dev/ttyUSB0,ZX-83,01.00.0000,failed,2026-12-01T08:03:00Z,b,reported,2026-12-01T08:03:00Z,01.05.0000,Desk 1,no,no,,,link-lost\r\n"
              ",/dev/ttyUSB0,ZX-83,01.05.0000,updated,2026-12-01T08:01:00Z,b,updated,2026-12-01T08:01:00Z,01.05.0000,Desk 2,no,no,,,\r\n"
              ",/dev/ttyUSB0,ZX-83,01.04.0000,failed,2026-12-01T08:07:00Z,b,reported,2026-12-01T08:07:00Z,01.05.0000,,yes,no,,,link-lost\r\n");
    const std::string table = show("--needs=1.5").out;
    EXPECT_NE(table.find("\nThe calculators updated at /dev/ttyUSB0 on b have neither a USB serial number nor a label: "
                         "they are not told apart"),
              std::string::npos)
        << table;
}

// Two serial-port calculators under one label, one failed and one updated
// after it, and two USB calculators reporting one serial in one set: each
// is a row of its own, the failed ones are those --needs lists, and the
// note says the name is shared, in the table, the CSV and the JSON.
TEST_F(History, CalculatorsSharingANameAreRowsOfTheirOwnAndNeitherHidesAFailure)
{
    const fs::path file = m_dir / "shared.jsonl";
    std::string twinA = RunLine("ZX-0042", "", "b", "09:00", "09:02", "01.00.0000", "failed");
    std::string twinB = RunLine("ZX-0042", "", "b", "09:00", "09:03", "01.00.0000", "updated");
    const auto atPort = [](std::string line, const char* port) {
        const std::string null = "\"usb_port\": null";
        return line.replace(line.find(null), null.size(), std::string("\"usb_port\": \"") + port + "\"");
    };
    std::ofstream(file, std::ios::binary)
        << RunLine("", "/dev/ttyUSB0", "b", "08:00", "08:01", "01.00.0000", "failed", "Desk 3") << "\n"
        << RunLine("", "/dev/ttyUSB1", "b", "08:02", "08:03", "01.00.0000", "updated", "Desk 3") << "\n"
        << atPort(twinA, "1-2") << "\n" << atPort(twinB, "1-3") << "\n";
    const auto show = [&](std::vector<std::string> arguments) {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--history", "--from", file.string(), "--by-calculator"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv, {"XDG_STATE_HOME=" + State().string(), "TZ=UTC0"}, "");
    };
    const ProcessResult needs = show({"--needs", "01.05.0000"});
    EXPECT_EQ(needs.exitCode, 0) << needs.err;
    EXPECT_EQ(needs.out.find("No calculator needs an update."), std::string::npos) << needs.out;
    EXPECT_NE(needs.out.find("ZX-0042  1-2"), std::string::npos) << needs.out;
    EXPECT_EQ(needs.out.find("ZX-0042  1-3"), std::string::npos) << needs.out;
    EXPECT_NE(needs.out.find("/dev/ttyUSB0"), std::string::npos) << needs.out;
    EXPECT_NE(needs.out.find("\nThe label Desk 3 names calculators at more than one port on b"), std::string::npos)
        << needs.out;
    EXPECT_NE(needs.out.find("\nThe USB serial number ZX-0042 was reported by two calculators at once"),
              std::string::npos)
        << needs.out;
    const std::string csv = show({"--csv"}).out;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5) << csv;   // the header and four rows
    EXPECT_NE(csv.find(",updated,2026-12-01T08:03:00Z,b,updated,2026-12-01T08:03:00Z,01.05.0000,Desk 3,no,yes,,,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("ZX-0042,1-2,ZX-84,01.00.0000,failed,"), std::string::npos) << csv;
    const std::string json = show({"--json"}).out;
    size_t shared = 0;
    for (size_t at = json.find("\"name_shared\": true"); at != std::string::npos;
         at = json.find("\"name_shared\": true", at + 1)) {
        ++shared;
    }
    EXPECT_EQ(shared, 4u) << json;
}

// Three machines' histories and a journal export read as one: merged in
// time order with each run once, and the fleet view of where each
// calculator stands, whole and as the list of those needing an update.
TEST_F(History, HistoriesFromAnywhereMergeAndShowWhereEachCalculatorStands)
{
    const std::vector<std::string> runs = {
        RunLine("ZX-4", "", "d", "07:00", "07:05", "01.00.0000", "updated"),   // in the journal only
        RunLine("ZX-1", "", "a", "08:00", "08:01", "01.00.0000", "updated"),
        RunLine("ZX-2", "", "a", "08:02", "08:03", "01.00.0000", "failed"),
        RunLine("ZX-3", "", "c", "08:30", "08:31", "01.00.0000", "updated"),   // in the journal too
        RunLine("ZX-2", "", "b", "09:00", "09:02", "01.00.0000", "updated"),   // in the journal too
        RunLine("", "/dev/ttyS0", "b", "09:05", "09:06", "01.04.0000", "failed"),
        RunLine("ZX-1", "", "c", "10:00", "10:01", "01.05.0000", "failed"),
        RunLine("ZX-5", "", "c", "10:30", "10:31", "01.05.0000", "current"),
    };
    const std::map<std::string, std::vector<size_t>> files = {{"a", {1, 2}}, {"b", {4, 5}}, {"c", {3, 6, 7}}};
    for (const auto& [host, lines] : files) {
        std::ofstream out(m_dir / (host + ".jsonl"), std::ios::binary);
        for (const size_t n : lines) {
            out << runs[n] << "\n";
        }
    }
    // Another program's entries, one of them posing as a run, count for nothing.
    const std::string posing = RunLine("ZX-1", "", "c", "11:00", "11:01", "01.05.0000", "updated");
    const std::string journal = JournalExportLine(runs[0], "d") + "\n" + JournalExportLine(runs[3], "c") + "\n" +
                                R"({"__CURSOR" : "s=1;i=3", "MESSAGE" : "someone else's entry"})" + "\n" +
                                R"({"__CURSOR" : "s=1;i=4", "ZENTRIX_RECORD" : )" + JsonString(posing) + "}\n" +
                                JournalExportLine(runs[4], "b") + "\n";
    const auto show = [&](std::vector<std::string> arguments) {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--history"};
        for (const char* host : {"a", "b", "c"}) {
            argv.insert(argv.end(), {"--from", (m_dir / (std::string(host) + ".jsonl")).string()});
        }
        argv.insert(argv.end(), {"--from", "-"});
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv, {"XDG_STATE_HOME=" + State().string(), "TZ=UTC0"}, journal);
    };
    std::string merged = "{\"schema_version\": 1, \"runs\": [";
    for (size_t n = 0; n < runs.size(); ++n) {
        merged += (n == 0 ? "\n  " : ",\n  ") + runs[n];
    }
    merged += "\n]}\n";

    // Where OS now comes from: reported by the calculator at its last run,
    // or assumed after an update (ZX-2's failed run came before its update).
    const std::string header = "usb_serial,usb_port,model,os_now,last_result,last_run,host,os_now_from,os_now_date,image,label,port_shared,name_shared,asset_tag,site,reason_code\r\n";
    const std::string zx1 = "ZX-1,,ZX-84,01.05.0000,failed,2026-12-01T10:01:00Z,c,reported,2026-12-01T10:01:00Z,01.05.0000,,no,no,,,link-lost\r\n";
    const std::string zx2 = "ZX-2,,ZX-84,01.05.0000,updated,2026-12-01T09:02:00Z,b,updated,2026-12-01T09:02:00Z,01.05.0000,,no,no,,,\r\n";
    const std::string zx3 = "ZX-3,,ZX-84,01.05.0000,updated,2026-12-01T08:31:00Z,c,updated,2026-12-01T08:31:00Z,01.05.0000,,no,no,,,\r\n";
    const std::string zx4 = "ZX-4,,ZX-84,01.05.0000,updated,2026-12-01T07:05:00Z,d,updated,2026-12-01T07:05:00Z,01.05.0000,,no,no,,,\r\n";
    const std::string zx5 = "ZX-5,,ZX-84,01.05.0000,current,2026-12-01T10:31:00Z,c,reported,2026-12-01T10:31:00Z,01.05.0000,,no,no,,,\r\n";
    const std::string serialPort =
        ",/dev/ttyS0,ZX-83,01.04.0000,failed,2026-12-01T09:06:00Z,b,reported,2026-12-01T09:06:00Z,01.05.0000,,yes,no,,,link-lost\r\n";
    const struct {
        std::vector<std::string> arguments;
        std::string out;
    } cases[] = {
        {{"--json"}, merged},
        {{"--by-calculator", "--csv"}, header + zx1 + zx2 + zx3 + zx4 + zx5 + serialPort},
        {{"--by-calculator", "--csv", "--needs", "01.05.0000"}, header + zx1 + serialPort},
        {{"--by-calculator", "--csv", "--needs=1.5.1"}, header + zx1 + zx2 + zx3 + zx4 + zx5 + serialPort},
        {{"--by-calculator", "--csv", "--since", "2026-12-01T09:00Z"}, header + zx1 + zx2 + zx5 + serialPort},
        // Not seen since: no run ended from then on.
        {{"--by-calculator", "--csv", "--not-seen-since", "2026-12-01T10:00Z"}, header + zx2 + zx3 + zx4 + serialPort},
        {{"--by-calculator", "--not-seen-since", "2026-12-01T07:00Z"}, "Every calculator recorded was seen since then.\n"},
        {{"--by-calculator", "--needs", "01.05.0000"},
         "Serial  Port        Model  OS now      Result  Last run (UTC)        Host  OS now from  Date (UTC)            Image       Label  Reason code\n"
         "ZX-1                ZX-84  01.05.0000  failed  2026-12-01T10:01:00Z  c     reported     2026-12-01T10:01:00Z  01.05.0000         link-lost\n"
         "        /dev/ttyS0  ZX-83  01.04.0000  failed  2026-12-01T09:06:00Z  b     reported     2026-12-01T09:06:00Z  01.05.0000         link-lost\n"
         "The calculators updated at /dev/ttyS0 on b have neither a USB serial number nor a label: they are not "
         "told apart and stand as one here. Give each a label (a line label = DEVICE = NAME in the configuration "
         "file) to tell them apart.\n"},
        {{"--by-calculator", "--json", "--needs", "01.05.0000"},
         "{\"schema_version\": 1, \"calculators\": [\n"
         "  {\"usb_serial\": \"ZX-1\", \"usb_port\": null, \"model\": \"ZX-84\", \"os_now\": \"01.05.0000\", "
         "\"last_result\": \"failed\", \"last_run\": \"2026-12-01T10:01:00Z\", \"host\": \"c\", \"os_now_from\": \"reported\", "
         "\"os_now_date\": \"2026-12-01T10:01:00Z\", \"image\": \"01.05.0000\", \"label\": null, \"asset_tag\": null, \"site\": null, \"reason_code\": \"link-lost\", \"port_shared\": false, \"name_shared\": false},\n"
         "  {\"usb_serial\": null, \"usb_port\": \"/dev/ttyS0\", \"model\": \"ZX-83\", \"os_now\": \"01.04.0000\", "
         "\"last_result\": \"failed\", \"last_run\": \"2026-12-01T09:06:00Z\", \"host\": \"b\", \"os_now_from\": \"reported\", "
         "\"os_now_date\": \"2026-12-01T09:06:00Z\", \"image\": \"01.05.0000\", \"label\": null, \"asset_tag\": null, \"site\": null, \"reason_code\": \"link-lost\", \"port_shared\": true, \"name_shared\": false}\n]}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const ProcessResult shown = show(c.arguments);
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_EQ(shown.out, c.out);
        EXPECT_EQ(shown.err, "");
    }
    // The table reads standard input twice (from a copy): every run once.
    const ProcessResult table = show({});
    EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 1 + static_cast<long>(runs.size())) << table.out;
    EXPECT_NE(table.out.find("2026-12-01 07:00:00  updated"), std::string::npos) << table.out;
    // A file out of time order (a clock set back) and with a torn line is
    // read whole, each with one warning; its late record is shown where it
    // was read.
    const fs::path late = m_dir / "late.jsonl";
    std::ofstream(late, std::ios::binary) << runs[6] << "\n{\"started\": \"2026-12-0\n" << runs[1] << "\n";
    const ProcessResult disordered =
        RunProcess({ZENTRIX_UPDATE_BIN, "--history", "--json", "--from", late.string(), "--from",
                    (m_dir / "b.jsonl").string()},
                   {"XDG_STATE_HOME=" + State().string()}, "");
    EXPECT_EQ(disordered.exitCode, 0);
    EXPECT_EQ(disordered.out, "{\"schema_version\": 1, \"runs\": [\n  " + runs[4] + ",\n  " + runs[5] + ",\n  " +
                                  runs[6] + ",\n  " + runs[1] + "\n]}\n");
    EXPECT_EQ(disordered.err, "zentrix-update: line 2 of " + late.string() +
                                  " is not a whole record (cut off when it was written?); it is skipped\n"
                                  "zentrix-update: " + late.string() +
                                  " is not in time order: 1 record is shown where it was read\n");
    // A file that is not there, --needs alone and two standard inputs are refused.
    const ProcessResult missing = show({"--from", (m_dir / "missing.jsonl").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("missing.jsonl cannot be read: No such file or directory"), std::string::npos)
        << missing.err;
    EXPECT_EQ(show({"--needs", "1.0"}).exitCode, 2);
    EXPECT_EQ(show({"--from", "-"}).exitCode, 2);
    // The compliance answer: one line, and the exit status a detection
    // script reads (1: some need it).
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out;
    } summaries[] = {
        {{"--by-calculator", "--needs", "01.05.0000", "--summary"}, 1,
         "2 of 6 calculators need 01.05.0000; the oldest record is of 2026-12-01\n"},
        // Since 10:30 only ZX-5, current, is recorded.
        {{"--by-calculator", "--needs", "01.05.0000", "--summary", "--since", "2026-12-01T10:30Z"}, 0,
         "0 of 1 calculator needs 01.05.0000; the oldest record is of 2026-12-01\n"},
        {{"--by-calculator", "--summary"}, 2, ""},
        {{"--by-calculator", "--needs", "01.05.0000", "--summary", "--csv"}, 2, ""},
    };
    for (const auto& c : summaries) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const ProcessResult shown = show(c.arguments);
        EXPECT_EQ(shown.exitCode, c.exitCode) << shown.err;
        EXPECT_EQ(shown.out, c.out);
    }
}

// Another program holding a lock on the history (here as long as the test
// runs) costs a run a few seconds at most: the result is shown as always and
// the record's loss is one warning, for a single calculator and for a set.
// The file is the user's alone, so no other user can take such a lock.
TEST_F(History, ALockHeldElsewhereEndsWithinSecondsAndTheResultStands)
{
    fs::create_directories(HistoryFile().parent_path());
    fs::permissions(HistoryFile().parent_path(), fs::perms::all);
    std::ofstream(HistoryFile()) << "";
    fs::permissions(HistoryFile(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                       fs::perms::others_read);
    // Held by this test's process for the whole test.
    const int holder = open(HistoryFile().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
    const std::string warning = "this run is not kept in the history: " + HistoryFile().string() +
                                " is locked by another program";
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int calculators;
    } cases[] = {{"single", {Images(), "0"}, 1}, {"set", {"--all", Images()}, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string devices;
        for (int i = 0; i < c.calculators; ++i) {
            devices += StartCalculator({}) + ";";
        }
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult run = Update(c.arguments, devices, "ok\nok\nok\ncancel\n", State());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(run.exitCode, 18) << run.err;
        EXPECT_NE(run.out.find(c.calculators == 1 ? "Update is complete." : "3 calculators: 3 updated"),
                  std::string::npos)
            << run.out;
        EXPECT_NE((run.out + run.err).find(warning), std::string::npos) << run.out << run.err;
    }
    close(holder);
    EXPECT_EQ(ReadFile(HistoryFile()), "");
    // Tightened on the way: the user's folder and file are theirs alone.
    EXPECT_EQ(fs::status(HistoryFile()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(HistoryFile().parent_path()).permissions(), fs::perms::owner_all);
    if (geteuid() == 0) {
        const ProcessResult other = RunProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                                "/usr/bin/flock", "-n", "-s", HistoryFile().string(), "true"},
                                               {}, "");
        EXPECT_NE(other.exitCode, 0) << "another user took a lock on the history";
    }
}

// Links, pipes and folders where the history should be: nothing is written
// through a link or made at its target, and --history refuses at once what
// it cannot read as a file.
TEST_F(History, NoRecordIsWrittenThroughALinkAndOnlyAFileIsRead)
{
    fs::create_directories(HistoryFile().parent_path());
    const fs::path victim = m_dir / "victim";
    std::ofstream(victim) << "precious\n";
    for (const fs::path& target : {victim, m_dir / "made-by-a-link"}) {
        SCOPED_TRACE(target.string());
        fs::remove(HistoryFile());
        fs::create_symlink(target, HistoryFile());
        const ProcessResult run = Update({Images(), "0"}, StartCalculator({}), "ok\nok\nok\ncancel\n", State());
        EXPECT_NE(run.out.find("Update is complete."), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("this run is not kept in the history: " + HistoryFile().string() +
                               " is a symbolic link; nothing is written through it"),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_FALSE(fs::exists(m_dir / "made-by-a-link"));

    fs::remove(HistoryFile());
    ASSERT_EQ(mkfifo(HistoryFile().c_str(), 0600), 0);
    for (const char* form : {"--json", "--csv", "--history"}) {
        SCOPED_TRACE(form);
        const ProcessResult pipe = ShowHistory({"--history", form});
        EXPECT_EQ(pipe.exitCode, 1);
        EXPECT_NE(pipe.err.find("it is not a regular file"), std::string::npos) << pipe.err;
    }
    fs::remove(HistoryFile());
    fs::create_directory(HistoryFile());
    const ProcessResult folder = ShowHistory({"--history"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.out, "");
}

// Lines that are no records are one warning with their count and the first
// one's number; values a spreadsheet would take for formulas, or that would
// reach the terminal raw, are defused in the CSV.
TEST_F(History, BadLinesAreOneWarningAndCsvCellsAreSafeToOpen)
{
    fs::create_directories(HistoryFile().parent_path());
    const std::string record =
        R"x({"started": "2026-12-01T08:00:00Z", "device": "@SUM(A1)", "model": "=1+1", )x"
        R"x("os_before": "\u001b]0;owned\u0007", "os_image": "-2", "result": "updated", "reason": "+cmd"})x";
    std::ofstream(HistoryFile(), std::ios::binary)
        << "not json\n" << record << "\n{\"started\":\n" << std::string(100000, 'x') << "\n";
    const ProcessResult csv = ShowHistory({"--history", "--csv"});
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.err, "zentrix-update: 3 lines of " + HistoryFile().string() +
                           " are not whole records; they are skipped (the first is line 1)\n");
    EXPECT_NE(csv.out.find("2026-12-01T08:00:00Z,,'@SUM(A1),,,'=1+1,\\x1b]0;owned\\x07,'-2,,,updated,'+cmd,"),
              std::string::npos)
        << csv.out;
    EXPECT_EQ(csv.out.find_first_of("\x1b\x07"), std::string::npos);
}

// Twenty records on terminals of 60 and 80 columns: the table fits (which
// columns give way is the shell test's), the times are local with their
// offset; --csv and --json stay as in a pipe.
TEST_F(History, TheTableFitsTerminalsFromSixtyColumnsWithLocalTimes)
{
    fs::create_directories(HistoryFile().parent_path());
    const std::string reason = "the OS image, block 34 of 69: the link to the calculator was lost (Broken pipe); "
                               "check the cable, then start the update again";
    std::ofstream file(HistoryFile(), std::ios::binary);
    for (int i = 0; i < 20; ++i) {
        const bool failed = i % 3 == 1;
        const std::string day = std::to_string(10 + i);
        file << R"({"started": "2026-12-)" << day << R"(T23:30:00Z", "ended": null, "device": "/dev/ttyUSB)" << i
             << R"(", "usb_serial": "ZX-0042", "usb_port": "1-2.3", "model": "365E", "os_before": "01.00.0000", )"
             << R"("os_image": "01.05.0000", "route": "os", "block_size": 1024, "result": ")"
             << (failed ? "failed" : "updated") << R"(", "reason": )" << (failed ? "\"" + reason + "\"" : "null")
             << R"(, "mode": "watch", "host": "classroom-computer-7", "program_version": "1.0.0.1"})"
             << "\n";
    }
    file.close();
    const std::regex row(R"((\d{4}-\d\d-\d\d \d\d:\d\d [+-]\d{4})  (updated|failed) +(/dev/ttyUSB\d+)( .*)?)");
    for (const int columns : {60, 80}) {
        SCOPED_TRACE(std::to_string(columns) + " columns");
        const int lines = columns == 60 ? 20 : 24;
        const ProcessResult shown = ShowHistory({"--history"}, columns, lines);
        ASSERT_EQ(shown.exitCode, 0) << shown.err;
        const TerminalPass pass = FollowTerminal(shown.out, static_cast<size_t>(columns), static_cast<size_t>(lines));
        EXPECT_LT(pass.longest, static_cast<size_t>(columns)) << shown.out;
        EXPECT_EQ(pass.wrapped, 0u);
        std::istringstream table(shown.out);
        std::string line;
        std::getline(table, line);
        EXPECT_EQ(line.rfind("Started                 Result   Device", 0), 0u) << line;
        int records = 0;
        while (std::getline(table, line)) {
            std::smatch cells;
            if (line.rfind("    ", 0) == 0) {
                continue;   // a reason, under its row
            }
            ASSERT_TRUE(std::regex_match(line, cells, row)) << line;
            // 23:30 UTC is half past midnight the next day an hour east.
            EXPECT_EQ(cells[1].str(), "2026-12-" + std::to_string(11 + records) + " 00:30 +0100");
            EXPECT_EQ(cells[3].str(), "/dev/ttyUSB" + std::to_string(records));
            ++records;
        }
        EXPECT_EQ(records, 20);
        for (const char* form : {"--csv", "--json"}) {
            EXPECT_EQ(ShowHistory({"--history", form}, columns, lines).out, ShowHistory({"--history", form}).out);
        }
    }
}

// Records no one should trust: a text holding a C1 control and marks that
// turn text around, and a run dated 2099 before a real failure. Every form
// shows the texts escaped; the run from the future is flagged and the
// failure after it stands, so --needs lists its calculator. The table
// reads standard input as --json does, and --needs takes only a version.
TEST_F(History, HostileRecordsNeitherSteerTheTerminalNorMaskLaterRuns)
{
    const std::string hostile = "h\xC2\x9B" "2J\xE2\x80\xAE" "x\xE2\x81\xA6\xE2\x80\x8F\xD8\x9C";
    std::string future = RunLine("ZX-7", "", "a", "09:00", "09:01", "01.00.0000", "updated");
    future.replace(future.find("2026-12-01T09:01"), 16, "2099-01-01T00:00");
    const std::string failure = RunLine("ZX-7", "", "a", "10:00", "10:01", "01.00.0000", "failed");
    const fs::path file = m_dir / "hostile.jsonl";
    std::ofstream(file, std::ios::binary) << RunLine("ZX-9", "", hostile, "08:00", "08:01", "01.00.0000", "updated")
                                          << "\n" << future << "\n" << failure << "\n";
    const std::string flagged = "zentrix-update: " + file.string() +
                                " holds 1 record dated later than it can have been written; it is shown where it "
                                "was read and never taken for its calculator's last run\n";
    for (const std::vector<std::string>& form : std::vector<std::vector<std::string>>{
             {}, {"--json"}, {"--csv"}, {"--by-calculator"}, {"--by-calculator", "--json"},
             {"--by-calculator", "--csv"}}) {
        SCOPED_TRACE(::testing::PrintToString(form));
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--history", "--from", file.string()};
        argv.insert(argv.end(), form.begin(), form.end());
        const ProcessResult shown = RunProcess(argv, {"XDG_STATE_HOME=" + State().string(), "TZ=UTC0"}, "");
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_EQ(shown.err, flagged);
        EXPECT_NE(shown.out.find("ZX-9"), std::string::npos) << shown.out;
        for (const char* raw : {"\xC2\x9B", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x80\x8F", "\xD8\x9C"}) {
            EXPECT_EQ(shown.out.find(raw), std::string::npos) << shown.out;
        }
        // The same records from standard input: the table shows them too.
        argv[3] = "-";
        const ProcessResult piped = RunProcess(argv, {"XDG_STATE_HOME=" + State().string(), "TZ=UTC0"},
                                               ReadFile(file));
        EXPECT_EQ(piped.out, shown.out);
    }
    const ProcessResult needs = RunProcess({ZENTRIX_UPDATE_BIN, "--history", "--from", file.string(),
                                            "--by-calculator", "--csv", "--needs", "01.05.0000"},
                                           {"XDG_STATE_HOME=" + State().string()}, "");
    EXPECT_EQ(needs.out.substr(0, needs.out.find("\r\n") + 2),
              "usb_serial,usb_port,model,os_now,last_result,last_run,host,os_now_from,os_now_date,image,label,port_shared,name_shared,asset_tag,site,reason_code\r\n");
    EXPECT_NE(needs.out.find("\r\nZX-7,,ZX-84,01.00.0000,failed,2026-12-01T10:01:00Z,a,"), std::string::npos) << needs.out;
    const ProcessResult notVersion = RunProcess({ZENTRIX_UPDATE_BIN, "--history", "--from", file.string(),
                                                 "--by-calculator", "--needs", "latest\x1b[2J"},
                                                {"XDG_STATE_HOME=" + State().string()}, "");
    EXPECT_EQ(notVersion.exitCode, 2);
    EXPECT_EQ(notVersion.err, "zentrix-update: --needs latest\\x1b[2J is not a version: give numbers between dots, "
                              "as 01.05.0000\n");
    EXPECT_EQ(notVersion.out, "");
}

// zentrix-update --history --from - `form` with records coming on its
// standard input without end, its output read until `signal` is sent (0:
// until the reader closes its end of the pipe after the first line).
// Returns how long it took to end after that, and how it ended.
struct EndlessEnding {
    std::chrono::milliseconds took{};
    int status = 0;
};
EndlessEnding ReportEndlessInput(const std::vector<std::string>& form, int signal, const std::string& record,
                                 const fs::path& scratch)
{
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) {
        return {};
    }
    std::vector<std::string> arguments = {ZENTRIX_UPDATE_BIN, "--history", "--from", "-"};
    arguments.insert(arguments.end(), form.begin(), form.end());
    const std::string tmpdir = "TMPDIR=" + scratch.string();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (const int fd : {in[0], in[1], out[0], out[1]}) {
            close(fd);
        }
        std::vector<char*> argv;
        for (std::string& a : arguments) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        putenv(const_cast<char*>(tmpdir.c_str()));
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    std::thread feeder([fd = in[1], &record] {
        // Runs on devices of their own: none is a copy of another.
        const size_t device = record.find("usb:1:7");
        for (uint64_t n = 0;; ++n) {
            std::string lines;
            for (int i = 0; i < 1000; ++i) {
                lines += std::string(record).replace(device, 7, "usb:" + std::to_string(n * 1000 + i)) + "\n";
            }
            if (write(fd, lines.data(), lines.size()) <= 0) {
                break;
            }
        }
        close(fd);
    });
    FILE* shown = fdopen(out[0], "r");
    if (signal != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    } else {
        char first[4096];
        EXPECT_NE(fgets(first, sizeof first, shown), nullptr);
    }
    const auto from = std::chrono::steady_clock::now();
    if (signal != 0) {
        kill(pid, signal);
    } else {
        fclose(shown);
        shown = nullptr;
    }
    EndlessEnding ending;
    for (int waited = 0; waited < 100 && waitpid(pid, &ending.status, WNOHANG) == 0; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ending.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - from);
    if (waitpid(pid, &ending.status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &ending.status, 0);
    }
    feeder.join();
    if (shown != nullptr) {
        fclose(shown);
    }
    return ending;
}

// --history with a standard input that never ends ends at once on Ctrl+C,
// SIGTERM or a hang-up in every form, and when the pipe it writes to is
// closed; the table copies no more of the input than its limit.
TEST_F(History, AReportOfEndlessInputEndsOnASignalOrAClosedPipe)
{
    std::signal(SIGPIPE, SIG_IGN);   // the feeder sees the end of the pipe as an error
    const std::string record = RunLine("ZX-1", "", "a", "08:00", "08:01", "01.00.0000", "updated");
    fs::create_directories(m_dir / "scratch");
    const struct {
        std::vector<std::string> form;
        int signal;
    } cases[] = {
        {{}, SIGINT}, {{"--json"}, SIGTERM}, {{"--csv"}, SIGHUP}, {{"--by-calculator"}, SIGTERM},
        {{"--json"}, 0}, {{"--csv"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.form) + " signal " + std::to_string(c.signal));
        const EndlessEnding ending = ReportEndlessInput(c.form, c.signal, record, m_dir / "scratch");
        EXPECT_LT(ending.took, std::chrono::seconds(10));   // endless input: only the signal or the closed pipe ends it
        EXPECT_FALSE(WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == 0);
        EXPECT_FALSE(WIFSIGNALED(ending.status) && WTERMSIG(ending.status) == SIGKILL);
    }
    EXPECT_TRUE(fs::is_empty(m_dir / "scratch"));
}

}  // namespace
