// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update run by a script: --yes answers every box with
// standard input closed, and the exit code says how the calculators fared.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <regex>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"

namespace {

namespace fs = std::filesystem;

class Unattended : public ::testing::Test {
protected:
    Unattended() { m_dir = MakeDemoFolder("zentrix-unattended", ZENTRIX_SIM_BIN); }
    ~Unattended() override
    {
        m_calculator.reset();
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    // A simulated calculator for one run; returns its pty's path.
    std::string StartCalculator(const std::vector<std::string>& options)
    {
        std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--verdict", "--runs", "1",
                                         "--expect-stub", Image("UpdateExe.bin"),
                                         "--expect-os", Image("UpdateCode.bin")};
        argv.insert(argv.end(), options.begin(), options.end());
        m_calculator = std::make_unique<CBackgroundProcess>(argv);
        return m_calculator->ReadLine();
    }

    // The program with standard input on /dev/null, both streams read as one.
    // Without `devices` it looks for a USB ID no calculator has.
    // `errTo` says where standard error goes instead.
    // `env`: more variables, such as a DISPLAY (they win over the above).
    std::unique_ptr<CBackgroundProcess> Start(const std::string& devices, const std::vector<std::string>& options,
                                              const std::string& ui = "console", const std::string& errTo = "&1",
                                              const std::string& env = "", const std::string& input = "/dev/null")
    {
        const std::string usbIds = devices.empty() ? "ffff:fffe" : "";
        std::string command = "exec /usr/bin/timeout -s KILL 60 env ZENTRIX_UI=" + ui +
                              " ZENTRIX_USB_IDS=" + usbIds +
                              " ZENTRIX_REPLY_TIMEOUT=2 'ZENTRIX_DEVICES=" + devices + "' TMPDIR='" +
                              (m_dir / "scratch").string() + "' XDG_STATE_HOME='" + (m_dir / "state").string() +
                              "' " + env + " '" ZENTRIX_UPDATE_BIN "'";
        for (const std::string& option : options) {
            command += " '" + option + "'";
        }
        command += " '" + (m_dir / "img").string() + "' <'" + input + "' 2>" + errTo;
        return std::make_unique<CBackgroundProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
    }

    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }

    // Checks --json output with tests/e2e/check_json_events.py against the
    // schema and the history file; returns the outline it prints.
    std::string CheckEvents(const std::string& events)
    {
        const fs::path file = m_dir / "events.jsonl";
        std::ofstream(file, std::ios::binary) << events;
        const ProcessResult check =
            RunProcess({"/usr/bin/env", "python3", ZENTRIX_SOURCE_DIR "/tests/e2e/check_json_events.py",
                        ZENTRIX_SOURCE_DIR "/docs/zentrix-update-events.schema.json", file.string(),
                        (m_dir / "state" / "zentrix-update" / "history.jsonl").string()},
                       {}, "", 60000);
        EXPECT_EQ(check.exitCode, 0) << check.err << check.out;
        return check.out;
    }

    fs::path m_dir;
    std::unique_ptr<CBackgroundProcess> m_calculator;
};

struct ScriptCase {
    const char* name;
    std::vector<std::string> options;      // the program's
    std::vector<std::string> calculator;   // the simulator's; absent: no calculator at all
    bool hasCalculator;
    int exitCode;
    std::string output;    // part of what the program wrote
    std::string verdict;   // part of the calculator's own verdict
};

TEST_F(Unattended, YesAnswersEveryBoxWithoutInputAndTheExitCodeSaysHowTheCalculatorsFared)
{
    const std::string updated = "images received intact";
    const std::vector<ScriptCase> cases = {
        {"single", {"--yes"}, {}, true, 0, "Update is complete.\nDo you want to continue with the update?\n[OK] Cancel\n--yes: Cancel\n", updated},
        {"set", {"-y", "--all"}, {}, true, 0, "1 calculator: 1 updated", updated},
        {"station", {"--yes", "--watch"}, {}, true, 0, "  updated", updated},
        {"current", {"--yes"}, {"--os-version", "02.00.0000"}, true, 0, "You do not need to update", ""},
        {"failed", {"--yes"}, {"--fault", "hangup:300"}, true, 1, "Update failed.\n[OK]\n",
         "cut off mid-flash"},
        {"unsupported set", {"--yes", "--all"}, {"--model", "12345678"}, true, 1, "1 not supported", ""},
        {"none in single", {"--yes"}, {}, false, 3, "zentrix-update: no calculator found", ""},
        {"none in a set", {"--yes", "--all"}, {}, false, 3, "No calculator was found", ""},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string device =
            c.hasCalculator ? StartCalculator(c.calculator) : std::string();
        auto program = Start(device, c.options);
        std::string seen;
        if (c.options.back() == "--watch") {
            // The station runs until it is told to end.
            ASSERT_TRUE(program->ReadLinesUntil(seen, [&](const std::string&) {
                return seen.find(c.output) != std::string::npos;
            })) << "the station ended by itself or said nothing:\n" << seen;
            kill(program->Pid(), SIGTERM);
        }
        seen += program->ReadRest();
        EXPECT_EQ(program->Wait(), c.exitCode) << seen;
        EXPECT_NE(seen.find(c.output), std::string::npos) << seen;
        // Every box was answered: none asked again or waited for a line.
        EXPECT_EQ(seen.find("Please answer"), std::string::npos) << seen;
        if (c.hasCalculator) {
            const std::string verdict = m_calculator->ReadRest();
            EXPECT_NE(verdict.find(c.verdict), std::string::npos) << verdict;
        }
        m_calculator.reset();
    }
}

// Images that cannot be used are their own outcome: one line naming the
// folder and what it must hold, exit status 4, and the calculator attached
// never hears from the program.
TEST_F(Unattended, ImagesThatCannotBeUsedEndWithStatus4BeforeAnyCalculatorIsOpened)
{
    const std::vector<std::vector<std::string>> modes = {{"--yes", "--all"}, {"--json", "--all"}};
    fs::remove(Image("UpdateCode.bin"));
    for (const std::vector<std::string>& options : modes) {
        SCOPED_TRACE(options[0]);
        const std::string device = StartCalculator({});
        auto program = Start(device, options);
        const std::string seen = program->ReadRest();
        EXPECT_EQ(program->Wait(), 4) << seen;
        const std::string folder = (m_dir / "img").string() + "/";
        EXPECT_NE(seen.find("zentrix-update: the images cannot be used: image missing: " + folder + "UpdateCode.bin"),
                  std::string::npos)
            << seen;
        EXPECT_NE(seen.find("the folder " + folder + " must hold the updater stub UpdateExe.bin and the OS image "
                            "UpdateCode.bin"),
                  std::string::npos);
        EXPECT_EQ(seen.find("Connect the calculators"), std::string::npos) << seen;
        if (options[0] == "--json") {
            EXPECT_NE(seen.find("\"exit_code\": 4"), std::string::npos) << seen;
        }
        kill(m_calculator->Pid(), SIGTERM);
        EXPECT_EQ(m_calculator->ReadRest(), "") << "the calculator heard from the program";
        m_calculator.reset();
    }
    EXPECT_FALSE(fs::exists(m_dir / "state" / "zentrix-update" / "history.jsonl"));
}

// Refused before the calculator hears a byte, whoever watches: a FIFO under
// the OS image's name (never waited on; with --json the first event names
// no version) ends with status 4, and a mistyped reply limit, which must
// not lift the limit of a run nobody watches, with status 2.
TEST_F(Unattended, RefusedBeforeTheCalculatorSeesAByte)
{
    const std::string refusedLimit =
        "zentrix-update: ZENTRIX_REPLY_TIMEOUT=1e3 is not a number of seconds (a whole number; 0 waits without "
        "limit)\n";
    const std::string json = "\"images\": {\"os_image\": null}", exitCode = "\"exit_code\": 4";
    const struct {
        std::vector<std::string> options;
        bool fifo;           // the OS image is a FIFO; else the reply limit is mistyped
        int exitCode;
        std::vector<std::string> parts;   // parts of what is said; for the limit, the whole of it
    } cases[] = {
        {{"--json", "--yes"}, true, 4, {json, exitCode}},
        {{"--json", "--all"}, true, 4, {json, exitCode}},
        {{"--yes"}, true, 4, {}},
        {{"--yes", "--all"}, false, 2, {refusedLimit}},
        {{"--json", "--all"}, false, 2, {refusedLimit}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options) + (c.fifo ? " fifo" : " limit"));
        if (c.fifo) {
            fs::remove(Image("UpdateCode.bin"));
            ASSERT_EQ(mkfifo(Image("UpdateCode.bin").c_str(), 0600), 0);
        }
        const std::string device = StartCalculator(c.fifo ? std::vector<std::string>{}
                                                          : std::vector<std::string>{"--fault", "silent:100"});
        auto program = c.fifo ? Start(device, c.options, "console", "/dev/null")
                              : Start(device, c.options, "console", "&1", "ZENTRIX_REPLY_TIMEOUT=1e3");
        const std::string seen = program->ReadRest();
        EXPECT_EQ(program->Wait(), c.exitCode) << seen;   // the hang guard would kill it (137)
        for (const std::string& part : c.parts) {
            if (c.fifo) {
                EXPECT_NE(seen.find(part), std::string::npos) << seen;
            } else {
                EXPECT_EQ(seen, part);
            }
        }
        kill(m_calculator->Pid(), SIGTERM);
        EXPECT_EQ(m_calculator->ReadRest(), "") << "the calculator heard from the program";
        m_calculator.reset();
    }
}

// Nobody watches an unattended set: a silent calculator ends at the limit of
// the configuration file (without one, after 60 s) and the set ends.
TEST_F(Unattended, ASilentCalculatorEndsAnUnattendedSetByItself)
{
    fs::create_directories(m_dir / "config" / "zentrix-update");
    std::ofstream(m_dir / "config" / "zentrix-update" / "zentrix-update.conf") << "reply-timeout = 2\n";
    const std::string device = StartCalculator({"--fault", "silent:100"});
    auto program = Start(device, {"--yes", "--all"}, "console", "&1",
                         "ZENTRIX_REPLY_TIMEOUT= XDG_CONFIG_HOME='" + (m_dir / "config").string() + "'");
    const std::string seen = program->ReadRest();
    EXPECT_EQ(program->Wait(), 1) << seen;
    EXPECT_NE(seen.find("did not answer for 2 s (the limit set by reply-timeout in the configuration file)"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("1 calculator: 0 updated, 0 already current, 0 not supported, 1 failed."), std::string::npos);
}

TEST_F(Unattended, WithoutTheOptionsTheExitCodeStays18AndWithTheWindowTheyAreRefused)
{
    // Standard input at its end answers Cancel to the first warning.
    const std::string device = StartCalculator({});
    auto plain = Start(device, {});
    const std::string seen = plain->ReadRest();
    EXPECT_EQ(plain->Wait(), 18) << seen;
    EXPECT_NE(seen.find("Do you want to continue with the update?\nOK [Cancel]\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("Checking the calculator version"), std::string::npos) << seen;

    for (const char* option : {"--yes", "-y", "--json"}) {
        auto window = Start(device, {option}, "gui");
        const std::string said = window->ReadRest();
        EXPECT_EQ(window->Wait(), 2) << said;
        EXPECT_EQ(said, "zentrix-update: " + std::string(option == std::string("-y") ? "--yes" : option) +
                            " works in console mode only (ZENTRIX_UI=console chooses it)\n");
    }
}

// Nobody reads a warning when --yes or --json is given: a mistyped option is
// a usage error before any calculator is opened.
TEST_F(Unattended, WithYesOrJsonAMistypedOptionEndsTheProgramBeforeTheCalculatorSeesAByte)
{
    const std::string tail = ": nothing was done (with --yes, --json or --report-problem the command line must be exact)\n";
    const struct {
        std::vector<std::string> options;
        std::string said;
        bool exact = true;   // false: a mode error, said the same way without --yes
    } cases[] = {
        {{"--dry-run", "--yes"}, "unknown option --dry-run"},
        {{"--json", "--dry-run"}, "unknown option --dry-run"},
        {{"--json", "--yes", "--all", "--usb-id", "1a2b"}, "--usb-id 1a2b is not a VVVV:PPPP pair of four hex digits each"},
        {{"--histroy", "--yes"}, "unknown option --histroy (did you mean --history?)"},
        {{"--device", "/dev/x", "--history"}, "--device does not go with --history: nothing was done\n", false},
        {{"--csv", "--all"}, "--csv goes with --history: nothing was done\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        const std::string device = StartCalculator({});
        auto program = Start(device, c.options);
        const std::string seen = program->ReadRest();
        EXPECT_EQ(program->Wait(), 2) << seen;
        EXPECT_EQ(seen, "zentrix-update: " + c.said + (c.exact ? tail : ""));
        // Stopped, the calculator tells of every run it saw, even one cut short: none.
        kill(m_calculator->Pid(), SIGTERM);
        EXPECT_EQ(m_calculator->ReadRest(), "");
        m_calculator.reset();
    }
    EXPECT_FALSE(fs::exists(m_dir / "state" / "zentrix-update" / "history.jsonl"));
}

// The manual page's example from a desktop's terminal: a display that can be
// reached, no ZENTRIX_UI; --yes and --json choose the console themselves.
TEST_F(Unattended, TheManualPagesExampleRunsInTheConsoleOnADesktop)
{
    CBackgroundProcess display({"/bin/sh", "-c", "exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null"});
    const std::string number = display.ReadLine(20000);
    if (number.empty()) {
        GTEST_SKIP() << "no Xvfb to give a display";
    }
    const std::string device = StartCalculator({});
    const fs::path err = m_dir / "stderr";
    auto program = Start(device, {"--yes", "--json", "--all"}, "", "'" + err.string() + "'", "DISPLAY=:" + number);
    const std::string events = program->ReadRest();
    EXPECT_EQ(program->Wait(), 0) << events;
    EXPECT_EQ(CheckEvents(events), "started:all\nprompt:ok\nprompt:ok\nprompt:ok\nrun-started\nrun-ended:updated\n"
                                   "prompt:cancel\nsummary:0\n");
    EXPECT_NE(m_calculator->ReadRest().find("images received intact"), std::string::npos);
}

// A set is the calculators that are there: five listed ports with nothing
// connected are neither runs nor failures, only counted.
TEST_F(Unattended, ASetCountsPortsWithNothingConnectedApartFromItsCalculators)
{
    std::vector<std::unique_ptr<CBackgroundProcess>> calculators;
    std::string devices;
    for (int i = 0; i < 8; ++i) {
        if (i % 3 == 1) {
            calculators.push_back(std::make_unique<CBackgroundProcess>(std::vector<std::string>{
                ZENTRIX_SIM_BIN, "--verdict", "--runs", "2", "--expect-stub", Image("UpdateExe.bin"), "--expect-os",
                Image("UpdateCode.bin")}));
            devices += calculators.back()->ReadLine() + ";";
        } else {
            devices += (m_dir / ("no-cable-" + std::to_string(i))).string() + ";";
        }
    }
    ASSERT_EQ(calculators.size(), 3u);
    auto plain = Start(devices, {"--yes", "--all"});
    const std::string seen = plain->ReadRest();
    EXPECT_EQ(plain->Wait(), 0) << seen;
    EXPECT_NE(seen.find("3 calculators: 3 updated, 0 already current, 0 not supported, 0 failed. 5 configured ports "
                        "had nothing connected.\n"),
              std::string::npos)
        << seen;
    EXPECT_EQ(seen.find("no-cable-"), std::string::npos) << seen;
    // The second set finds them running the image's system since their restart.
    const fs::path err = m_dir / "stderr";
    auto json = Start(devices, {"--json", "--yes", "--all"}, "console", "'" + err.string() + "'");
    const std::string events = json->ReadRest();
    EXPECT_EQ(json->Wait(), 0) << events;
    EXPECT_NE(events.find("\"calculators\": 3, \"updated\": 0, \"current\": 3, \"unsupported\": 0, \"failed\": 0, "
                          "\"not_connected\": 5, \"exit_code\": 0}"),
              std::string::npos)
        << events;
    CheckEvents(events);
    std::ifstream history(m_dir / "state" / "zentrix-update" / "history.jsonl");
    size_t records = 0;
    for (std::string line; std::getline(history, line); ++records) {
        EXPECT_EQ(line.find("no-cable-"), std::string::npos) << line;
    }
    EXPECT_EQ(records, 6u);   // three runs in each of the two sets
    for (auto& calculator : calculators) {
        const std::string verdict = calculator->ReadRest();
        EXPECT_NE(verdict.find("run 1 read back after its restart: the calculator reported OS 01.05.0000\n"
                               "run 2: update abandoned by the updater (Terminate04)"),
                  std::string::npos)
            << verdict;
    }
}

struct JsonCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> calculator;   // the simulator's options
    bool hasCalculator;
    int exitCode;
    const char* outline;   // see check_json_events.py
    const char* said;      // part of standard error
};

TEST_F(Unattended, JsonGivesOnlyEventsThatTheSchemaAcceptsAndTheRecordsOfTheHistory)
{
    const std::string prompts = "prompt:ok\nprompt:ok\nprompt:ok\n";
    const std::vector<JsonCase> cases = {
        {"single", {"--json", "--yes"}, {}, true, 0,
         "started:single\nPROMPTSrun-started\nrun-ended:updated\nprompt:cancel\nsummary:0\n", "--yes: OK"},
        {"set", {"--json", "-y", "--all"}, {}, true, 0,
         "started:all\nPROMPTSrun-started\nrun-ended:updated\nprompt:cancel\nsummary:0\n", "1 updated"},
        {"station", {"--yes", "--json", "--watch"}, {}, true, 0,
         "started:watch\nPROMPTSrun-started\nrun-ended:updated\nsummary:0\n", "  updated"},
        {"failed", {"--json", "--yes"}, {"--fault", "hangup:300"}, true, 1,
         "started:single\nPROMPTSrun-started\nrun-ended:failed\nprompt:ok\nsummary:1\n",
         "zentrix-update: the OS image, block"},
        {"none in a set", {"--json", "--yes", "--all"}, {}, false, 3,
         "started:all\nPROMPTSprompt:ok\nsummary:3\n", "zentrix-update: searched USB devices with IDs ffff:fffe"},
        {"check", {"--json", "--yes", "--check"}, {}, true, 0,
         "started:single\nprompt:ok\nrun-started\nrun-ended:checked\nprompt:cancel\nsummary:0\n",
         "Checking the calculator version"},
        // Without --yes the answers are read: the end of input declines the warning.
        {"answers read", {"--json"}, {}, false, 3, "started:single\nprompt:ok\nprompt:cancel\nsummary:3\n",
         "== Warning =="},
    };
    for (const JsonCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string device = c.hasCalculator ? StartCalculator(c.calculator) : std::string();
        const fs::path err = m_dir / "stderr";
        auto program = Start(device, c.options, "console", "'" + err.string() + "'");
        std::string events;
        if (c.options.back() == "--watch") {
            ASSERT_TRUE(program->ReadLinesUntil(events, [&](const std::string& line) {
                return line.find("\"event\": \"run-ended\"") != std::string::npos;
            })) << events;
            kill(program->Pid(), SIGTERM);
        }
        events += program->ReadRest();
        EXPECT_EQ(program->Wait(), c.exitCode) << events;
        EXPECT_EQ(CheckEvents(events), std::regex_replace(c.outline, std::regex("PROMPTS"), prompts)) << events;
        std::ifstream said(err);
        const std::string stderrText((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
        EXPECT_NE(stderrText.find(c.said), std::string::npos) << stderrText;
        m_calculator.reset();
    }
}

struct CheckCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> calculator;   // the simulator's options
    const char* said;                      // the row, box or summary line
    const char* osBefore;                  // the record's os_before, as JSON
    const char* needs;                     // part of --by-calculator --needs 01.50 after it; null: not asked
};

// A check reads each calculator on both routes and sends neither image: the
// simulator's report counts no stub and no OS byte; the record says checked
// with the version and the images' fingerprints, and the district view lists
// a calculator found below a version.
TEST_F(Unattended, CheckReadsTheVersionAndSendsNoImage)
{
    const std::vector<CheckCase> cases = {
        {"os route", {"--yes", "--check"}, {}, "OS 01.00 \u2014 needs the update\nDo you want to check another", "\"01.00.0000\"", "01.00.0000"},
        {"current set", {"--yes", "--check", "--all"}, {"--os-version", "02.00.0000"}, "OS 02.00 \u2014 current", "\"02.00.0000\"",
         "No calculator needs an update."},
        // The set's end counts the ones that need it.
        {"older set", {"--yes", "--check", "--all"}, {}, "1 calculator: 1 checked, 0 could not be read. 1 of them needs "
         "the update.", "\"01.00.0000\"", "01.00.0000"},
        {"stub route", {"--yes", "--check", "--all"}, {"--route", "stub"}, "no version reported", "null", nullptr},
    };
    const fs::path report = m_dir / "report";
    const fs::path history = m_dir / "state" / "zentrix-update" / "history.jsonl";
    const std::string sums = RunProcess({"/usr/bin/sha256sum", Image("UpdateCode.bin"), Image("UpdateExe.bin")}, {}, "").out;
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case reads its own history: a pty's path is reused or not as
        // other tests take ptys, and one path is one calculator to the view.
        fs::remove(history);
        std::vector<std::string> simOptions = c.calculator;
        simOptions.insert(simOptions.end(), {"--report", report.string()});
        auto program = Start(StartCalculator(simOptions), c.options);
        const std::string seen = program->ReadRest();
        EXPECT_EQ(program->Wait(), 0) << seen;
        EXPECT_NE(seen.find(c.said), std::string::npos) << seen;
        EXPECT_EQ(seen.find("Main Memory"), std::string::npos) << "a check warned of erasing:\n" << seen;
        m_calculator.reset();
        std::ifstream reportFile(report);
        std::string line;
        std::getline(reportFile, line);
        EXPECT_NE(line.find("ending=terminate04 clean=0 violations=0"), std::string::npos) << line;
        EXPECT_NE(line.find("stub_bytes=0 os_bytes=0"), std::string::npos) << line;
        fs::remove(report);
        std::ifstream records(history);
        std::string record;
        for (std::string next; std::getline(records, next);) {
            record = next;
        }
        EXPECT_NE(record.find("\"result\": \"checked\""), std::string::npos) << record;
        EXPECT_NE(record.find("\"os_before\": " + std::string(c.osBefore)), std::string::npos) << record;
        EXPECT_NE(record.find("\"image_sha256\": \"" + sums.substr(0, 64) + "\""), std::string::npos) << record;
        EXPECT_NE(record.find("\"stub_sha256\": \"" + sums.substr(sums.find('\n') + 1, 64) + "\""), std::string::npos);
        if (c.needs != nullptr) {
            const ProcessResult needs = RunProcess({ZENTRIX_UPDATE_BIN, "--history", "--by-calculator", "--needs", "01.50"},
                                                   {"XDG_STATE_HOME=" + (m_dir / "state").string()}, "", 60000);
            EXPECT_NE(needs.out.find(c.needs), std::string::npos) << needs.out;
        }
    }
}

// A pinned fingerprint the OS image does not have sends nothing (status 4);
// a pin that is no fingerprint is a wrong command line (status 2).
TEST_F(Unattended, APinnedImageOfAnotherFingerprintSendsNothing)
{
    const std::string other(64, 'a');
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"--yes", "--image-sha256", other}, 4},
        {{"--json", "--all", "--image-sha256=" + other}, 4},
        {{"--image-sha256", "12345"}, 2},
    };
    for (const auto& [options, status] : cases) {
        SCOPED_TRACE(options.back());
        auto program = Start(StartCalculator({}), options);
        const std::string seen = program->ReadRest();
        EXPECT_EQ(program->Wait(), status) << seen;
        EXPECT_NE(seen.find(status == 4 ? "not the pinned " + other : std::string("not a SHA-256 of 64 hex digits")),
                  std::string::npos)
            << seen;
        if (status == 4) {   // the images are there: the remedy is the pin's, not the folder's
            EXPECT_NE(seen.find("nothing was sent: put the pinned image in its place, or pin this one"),
                      std::string::npos)
                << seen;
            EXPECT_EQ(seen.find("put them there"), std::string::npos) << seen;
        }
        kill(m_calculator->Pid(), SIGTERM);
        EXPECT_EQ(m_calculator->ReadRest(), "") << "the calculator heard from the program";
        m_calculator.reset();
    }
}

// The events are the same bytes on a terminal as in a pipe, in German as
// in the C locale: only the times of the records, the pty and how many progress
// events a second saw may differ between two runs, so they are left out.
TEST_F(Unattended, JsonIsTheSameOnATerminalAsInAPipe)
{
    // Each run updates a calculator of its own: one updated is current since.
    std::string device = StartCalculator({});
    std::vector<std::string> env = {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + device, "LC_ALL=C",
                                    "XDG_STATE_HOME=" + (m_dir / "state").string(),
                                    "TMPDIR=" + (m_dir / "scratch").string()};
    const std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--json", "--yes", (m_dir / "img").string()};
    const ProcessResult piped = RunProcess(argv, env, "", 60000);
    env[2] = "LC_ALL=de_DE.UTF-8";   // nor does the language change them
    device = StartCalculator({});
    env[1] = "ZENTRIX_DEVICES=" + device;
    const ProcessResult onTerminal = RunProcess(argv, env, "", 60000, 80, 80);
    const auto stable = [](const std::string& events) {
        const std::regex progress("\\{[^\n]*\"event\": \"progress\"[^\n]*\n");
        const std::regex time("\"(started|ended)\": \"[0-9T:-]+Z\"");
        const std::regex pty("/dev/pts/[0-9]+");
        return std::regex_replace(std::regex_replace(std::regex_replace(events, progress, ""), time, "\"$1\": TIME"),
                                  pty, "PTY");
    };
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("\r"), std::string::npos) << "standard error was no terminal";
    EXPECT_NE(piped.out.find("run-ended"), std::string::npos) << piped.out;
    EXPECT_EQ(stable(onTerminal.out), stable(piped.out));
    CheckEvents(onTerminal.out);
}

}  // namespace

namespace {

// The history's records, one line each.
std::vector<std::string> HistoryLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

std::string FieldOf(const std::string& record, const std::string& name)
{
    std::smatch m;
    std::regex_search(record, m, std::regex("\"" + name + "\": (\"[^\"]*\"|true|false|null)"));
    return m.empty() ? "missing" : m[1].str();
}

}  // namespace

// What a calculator runs after its restart decides: the image's version
// confirms the update, its old one fails it naming both, silence leaves it
// updated but not confirmed. One set: one set_id on every record; every
// row says how long it took.
TEST_F(Unattended, AnUpdateIsConfirmedByWhatTheCalculatorRunsAfterItsRestart)
{
    std::vector<std::unique_ptr<CBackgroundProcess>> sims;
    std::vector<std::string> ptys;
    std::string devices;
    for (const char* way : {"adopt", "keep", "silent"}) {
        sims.push_back(std::make_unique<CBackgroundProcess>(std::vector<std::string>{
            ZENTRIX_SIM_BIN, "--restart-time", "0.5", "--after-update", way}));
        ptys.push_back(sims.back()->ReadLine());
        devices += ptys.back() + ";";
    }
    auto set = Start(devices, {"--yes", "--all", "--confirm-timeout", "4"});
    const std::string seen = set->ReadRest();
    EXPECT_EQ(set->Wait(), 1) << seen;
    EXPECT_NE(seen.find("3 calculators: 2 updated, 0 already current, 0 not supported, 1 failed."), std::string::npos)
        << seen;
    EXPECT_TRUE(std::regex_search(seen, std::regex(R"(updated \([0-9]+ s\))"))) << seen;
    EXPECT_TRUE(std::regex_search(seen, std::regex(R"(3 calculators in [0-9]+ s: 2 updated)"))) << seen;
    const std::vector<std::string> records = HistoryLines(m_dir / "state" / "zentrix-update" / "history.jsonl");
    ASSERT_EQ(records.size(), 3u) << seen;
    const struct {
        std::string result, confirmed, osAfter, code;
    } expected[] = {
        {"\"updated\"", "true", "\"01.05.0000\"", "null"},
        {"\"failed\"", "false", "\"01.00.0000\"", "\"os-not-taken\""},
        {"\"updated\"", "false", "null", "\"not-confirmed\""},
    };
    const std::string setId = FieldOf(records[0], "set_id");
    EXPECT_TRUE(std::regex_match(setId, std::regex(R"("[0-9]{8}T[0-9]{6}Z-[0-9a-f]{4}")"))) << setId;
    for (size_t i = 0; i < 3; ++i) {
        // The records are in the order the runs ended: find each by its pty.
        const auto record = std::find_if(records.begin(), records.end(),
                                         [&](const std::string& r) { return FieldOf(r, "device") == "\"" + ptys[i] + "\""; });
        ASSERT_NE(record, records.end()) << i;
        SCOPED_TRACE(*record);
        EXPECT_EQ(FieldOf(*record, "result"), expected[i].result);
        EXPECT_EQ(FieldOf(*record, "confirmed"), expected[i].confirmed);
        EXPECT_EQ(FieldOf(*record, "os_after"), expected[i].osAfter);
        EXPECT_EQ(FieldOf(*record, "reason_code"), expected[i].code);
        EXPECT_EQ(FieldOf(*record, "set_id"), setId);
    }
    EXPECT_NE(seen.find("after its restart the calculator reports OS 01.00.0000, not the image's 01.05.0000"), std::string::npos)
        << seen;
    EXPECT_NE(seen.find("not confirmed: the calculator did not answer after its restart"), std::string::npos) << seen;
}

// Simulated calculators that restart at once, the Nth (from 0) reporting
// each of its runs to DIR/report-N; each Start gives its pty's path.
class CReportingCalculators {
public:
    explicit CReportingCalculators(fs::path dir) : m_dir(std::move(dir)) {}
    std::string Start(std::vector<std::string> options)
    {
        options.insert(options.begin(), {ZENTRIX_SIM_BIN, "--restart-time", "0", "--report",
                                         (m_dir / ("report-" + std::to_string(m_sims.size()))).string()});
        m_sims.push_back(std::make_unique<CBackgroundProcess>(options));
        return m_sims.back()->ReadLine();
    }

private:
    fs::path m_dir;
    std::vector<std::unique_ptr<CBackgroundProcess>> m_sims;
};

// --retry-failed takes only the calculators the last set did not update:
// the one that hung up is done again, the two updated get a row that says
// so and receive nothing, and the record says which set it retries.
TEST_F(Unattended, ARetryTakesOnlyTheCalculatorThatFailed)
{
    const fs::path cable = m_dir / "cable";   // the failing calculator's port, a link to its pty
    CReportingCalculators calculators(m_dir);
    const auto sim = [&](std::vector<std::string> options) { return calculators.Start(std::move(options)); };
    const std::string first = sim({});
    const std::string second = sim({});
    fs::create_symlink(sim({"--fault", "hangup:40"}), cable);
    const std::string devices = first + ";" + second + ";" + cable.string();
    auto set = Start(devices, {"--yes", "--all"});
    EXPECT_EQ(set->Wait(), 1) << set->ReadRest();
    // A new calculator where the failed one was.
    fs::remove(cable);
    fs::create_symlink(sim({}), cable);
    auto retry = Start(devices, {"--yes", "--all", "--retry-failed"});
    const std::string seen = retry->ReadRest();
    EXPECT_EQ(retry->Wait(), 0) << seen;
    EXPECT_EQ(Occurrences(seen, "not in the retry list"), 4u) << seen;   // their rows and summary lines
    EXPECT_NE(seen.find("Main Memory of the 1 calculator connected"), std::string::npos) << seen;
    EXPECT_NE(seen.find("Updating 1 calculator at once"), std::string::npos) << seen;
    const std::vector<std::string> records = HistoryLines(m_dir / "state" / "zentrix-update" / "history.jsonl");
    ASSERT_EQ(records.size(), 4u) << seen;
    EXPECT_EQ(FieldOf(records[3], "device"), "\"" + cable.string() + "\"");
    EXPECT_EQ(FieldOf(records[3], "result"), "\"updated\"");
    EXPECT_EQ(FieldOf(records[3], "retry_of"), FieldOf(records[0], "set_id"));
    EXPECT_NE(FieldOf(records[3], "set_id"), FieldOf(records[0], "set_id"));
    // The two updated first saw one update and its read-back, nothing more.
    for (int i = 0; i < 2; ++i) {
        std::ifstream report(m_dir / ("report-" + std::to_string(i)));
        std::string all((std::istreambuf_iterator<char>(report)), {});
        EXPECT_EQ(Occurrences(all, "\n"), 2u) << all;
    }
    // Nothing left to do again: said, and nothing is touched.
    auto nothing = Start(devices, {"--yes", "--all", "--retry-failed", "last"});
    const std::string none = nothing->ReadRest();
    EXPECT_NE(none.find("there is nothing to update again"), std::string::npos) << none;
}

TEST_F(Unattended, TheEndOfASetOffersTheFailedAgainAndTakesOnlyThem)
{
    const fs::path cable = m_dir / "cable";
    CReportingCalculators calculators(m_dir);
    const auto sim = [&](std::vector<std::string> options) { return calculators.Start(std::move(options)); };
    const std::string devices = sim({}) + ";" + sim({}) + ";" + cable.string();
    fs::create_symlink(sim({"--fault", "hangup:40"}), cable);
    const fs::path answers = m_dir / "answers";
    ASSERT_EQ(mkfifo(answers.c_str(), 0600), 0);
    auto session = Start(devices, {"--all"}, "console", "&1", "", answers.string());
    std::ofstream typed(answers);
    typed << "ok\nok\nok\n" << std::flush;
    std::string seen;
    const auto waitFor = [&](const std::string& text) {
        return session->ReadLinesUntil(seen, [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    ASSERT_TRUE(waitFor("[OK] Again Cancel")) << seen;
    EXPECT_NE(seen.find("Again: Update the 1 that failed again"), std::string::npos) << seen;
    EXPECT_TRUE(std::regex_search(seen, std::regex(R"(3 calculators in [0-9]+ s: 2 updated, 0 already current, 0 not supported, 1 failed\.)")))
        << seen;
    // A calculator that answers where the failed one was, then Again.
    fs::remove(cable);
    fs::create_symlink(sim({}), cable);
    typed << "again\nok\nok\nok\n" << std::flush;
    ASSERT_TRUE(waitFor("Do you want to update another set?")) << seen;
    typed << "cancel\n" << std::flush;
    seen += session->ReadRest();
    session->Wait();
    EXPECT_NE(seen.find("Main Memory of the 1 calculator connected"), std::string::npos) << seen;
    EXPECT_EQ(Occurrences(seen, "not in the retry list"), 4u) << seen;
    const std::vector<std::string> records = HistoryLines(m_dir / "state" / "zentrix-update" / "history.jsonl");
    ASSERT_EQ(records.size(), 4u) << seen;
    EXPECT_EQ(FieldOf(records[3], "device"), "\"" + cable.string() + "\"");
    EXPECT_EQ(FieldOf(records[3], "result"), "\"updated\"");
    EXPECT_EQ(FieldOf(records[3], "retry_of"), FieldOf(records[0], "set_id"));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Occurrences(FileText(m_dir / ("report-" + std::to_string(i))), "\n"), 2u) << "one update, one read-back";
    }
}
