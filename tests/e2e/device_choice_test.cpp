// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update finding its calculator without ZENTRIX_DEVICES:
// from --device, from the user's or the machine's configuration file, and
// which source wins when several name one. Misspelt options and files with
// bad lines are warned about and never stop an update.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_texts.h"
#include "tests/e2e/demo_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace console_texts;

const std::string kDecoy = "/dev/zentrix-decoy";   // names no device: a run sent there fails
const std::string kAnswers = "ok\ny\nOK\ncancel\n";

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class DeviceChoice : public ::testing::Test {
protected:
    DeviceChoice()
    {
        m_dir = MakeDemoFolder("zentrix-choice", ZENTRIX_SIM_BIN);
        fs::create_directories(m_dir / "user" / "zentrix-update");
        fs::create_directories(m_dir / "machine");
    }
    ~DeviceChoice() override
    {
        m_calculator.reset();
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    // A simulated calculator serving `runs` updates; its pty is m_pty.
    void StartCalculator(int runs)
    {
        m_calculator = std::make_unique<CBackgroundProcess>(std::vector<std::string>{
            // One launcher update after another, nothing read back: the
            // calculator is ready again at once, with its old system.
            ZENTRIX_SIM_BIN, "--verdict", "--runs", std::to_string(runs), "--restart-time", "0", "--after-update",
            "keep", "--expect-stub",
            (m_dir / "img" / "UpdateExe.bin").string(), "--expect-os", (m_dir / "img" / "UpdateCode.bin").string()});
        m_pty = m_calculator->ReadLine();
        ASSERT_EQ(m_pty.rfind("/dev/", 0), 0u) << m_pty;
    }

    fs::path UserFile() const { return m_dir / "user" / "zentrix-update" / "zentrix-update.conf"; }
    fs::path MachineFile() const { return m_dir / "machine" / "zentrix-update.conf"; }
    static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

    // The updater in console mode with the environment's device variables
    // as given (empty: names nothing) and only this test's configuration
    // folders.
    ProcessResult Run(std::vector<std::string> options, const std::string& devicesVar, const std::string& answers)
    {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back((m_dir / "img").string());
        return RunProcess(argv,
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devicesVar, "ZENTRIX_USB_IDS=",
                           "TMPDIR=" + (m_dir / "scratch").string(), "XDG_CONFIG_HOME=" + (m_dir / "user").string(),
                           "ZENTRIX_MACHINE_CONFIG_DIR=" + (m_dir / "machine").string()},
                          answers, 60000);
    }

    fs::path m_dir;
    std::unique_ptr<CBackgroundProcess> m_calculator;
    std::string m_pty;
};

// The first source that names any device wins whole: a decoy in a source
// that should lose is never tried, and one in a source that should win is.
TEST_F(DeviceChoice, TheCommandLineBeatsTheEnvironmentWhichBeatsTheUsersFileWhichBeatsTheMachines)
{
    StartCalculator(6);   // one run for each case that reaches it
    const std::string pty = m_pty;
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::string environment;
        std::string userFile;      // empty: no file
        std::string machineFile;
        bool reachesCalculator;    // else the run fails on the decoy
    };
    const std::vector<Case> cases = {
        {"--device alone", {"--device", pty}, "", "", "", true},
        {"the user's file alone", {}, "", "device = " + pty + "\n", "", true},
        {"the machine's file alone", {}, "", "", "device = " + pty + "\n", true},
        {"--device beats the environment", {"--device=" + pty}, kDecoy, "", "", true},
        {"the environment beats the user's file", {}, pty, "device = " + kDecoy + "\n", "", true},
        {"the user's file beats the machine's", {}, "", "device = " + pty + "\n", "device = " + kDecoy + "\n",
         true},
        {"the environment wins whole", {}, kDecoy, "device = " + pty + "\n", "", false},
        {"the user's file wins whole", {}, "", "usb-id = 1a2b:5e01\ndevice = " + kDecoy + "\n",
         "device = " + pty + "\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(UserFile());
        fs::remove(MachineFile());
        if (!c.userFile.empty()) {
            Write(UserFile(), c.userFile);
        }
        if (!c.machineFile.empty()) {
            Write(MachineFile(), c.machineFile);
        }
        const ProcessResult run = Run(c.options, c.environment, kAnswers);
        EXPECT_EQ(run.exitCode, 18);
        if (c.reachesCalculator) {
            EXPECT_EQ(run.out, kPrompts + kComplete);
            EXPECT_EQ(run.err.find("zentrix-update: "), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.out, kPrompts + Error("Update failed."));
            EXPECT_NE(run.err.find("cannot open " + kDecoy), std::string::npos) << run.err;
        }
    }
    EXPECT_EQ(Occurrences(m_calculator->ReadRest(), "images received intact"), 6u);
    EXPECT_EQ(m_calculator->Wait(), 0);
}

TEST_F(DeviceChoice, EachBadLineOfAFileIsOneWarningWithItsLineAndTheRestStillCounts)
{
    StartCalculator(1);
    // Bad lines of every kind, some hostile: a terminal title sequence as a
    // key, a value far too long to echo, a line far too long to read.
    std::string bad = "colour\x1b]0;owned\x07 = blue\nusb-id = " + std::string(500, '9') + "\n" +
                      std::string(3000, 'x') + "\n";
    for (int i = 0; i < 12; ++i) {
        bad += "junk\n";
    }
    Write(UserFile(), "# the calculator on the desk\n\nport /dev/ttyUSB9\ndevice = " + m_pty +
                          "\nusb-id = 1a2b\ncolour = blue\n   # indented comment\ndevice =\n" + bad);
    const ProcessResult run = Run({}, "", kAnswers);
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kComplete);
    const std::string file = UserFile().string();
    for (const int line : {3, 5, 6, 8, 9, 10, 11, 12}) {
        EXPECT_EQ(Occurrences(run.err, "zentrix-update: " + file + ":" + std::to_string(line) + ": "), 1u)
            << line << "\n" << run.err;
    }
    // Ten lines are named, the rest counted; nothing raw reaches the terminal
    // and no warning line runs long.
    EXPECT_EQ(Occurrences(run.err, "zentrix-update: "), 11u) << run.err;
    EXPECT_EQ(Occurrences(run.err, file + ": 9 more lines ignored"), 1u) << run.err;
    EXPECT_EQ(Occurrences(run.err, "colour\\x1b]0;owned\\x07"), 1u) << run.err;
    EXPECT_EQ(Occurrences(run.err, "longer than 1024 characters"), 1u) << run.err;
    EXPECT_EQ(run.err.find_first_of("\x1b\x07"), std::string::npos);
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LT(line.size(), 400u) << line;
    }
    EXPECT_NE(m_calculator->ReadRest().find("run 1: images received intact"), std::string::npos);

    // A file past the size bound is one warning and names nothing; a pipe
    // in its place is not waited on.
    Write(UserFile(), "device = " + kDecoy + "\n" + std::string(70 * 1024, '#'));
    const ProcessResult large = Run({"--list-devices"}, "", "");
    EXPECT_EQ(large.err.find(kDecoy), std::string::npos) << large.err;
    EXPECT_EQ(Occurrences(large.err, file + " is ignored: it is larger than 64 KiB"), 1u) << large.err;
    fs::remove(UserFile());
    ASSERT_EQ(mkfifo(UserFile().c_str(), 0600), 0);
    const ProcessResult pipe = Run({"--list-devices"}, "", "");
    EXPECT_EQ(Occurrences(pipe.err, "cannot read " + file + ": not a file"), 1u) << pipe.err;
}

TEST_F(DeviceChoice, UnknownAndContradictoryOptionsAreWarnedAboutAndTheExitCodeStays18)
{
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"-all"}, {"unknown option -all ignored (did you mean --all?)"}},
        {{"--wacth", "--verbose"}, {"unknown option --wacth ignored (did you mean --watch?)",
                                    "unknown option --verbose ignored\n"}},
        {{"--usb-id", "12:34"}, {"--usb-id 12:34 ignored: not a VVVV:PPPP pair"}},
        {{"--\x1b[2J" + std::string(500, 'x')},
         {"unknown option --\\x1b[2J" + std::string(54, 'x') + "... ignored\n"}},
    };
    for (const auto& [options, warnings] : cases) {
        SCOPED_TRACE(options[0]);
        // The single mode's prompts: none of these options changed the mode.
        const ProcessResult run = Run(options, kDecoy, "ok\ncancel\n");
        EXPECT_EQ(run.exitCode, 18);
        EXPECT_EQ(run.out, kConnect + kWarning);
        for (const std::string& warning : warnings) {
            EXPECT_EQ(Occurrences(run.err, "zentrix-update: " + warning), 1u) << run.err;
        }
        EXPECT_EQ(Occurrences(run.err, "\n"), warnings.size()) << run.err;
    }
    const ProcessResult both = Run({"--watch", "--all"}, kDecoy, "ok\ncancel\n");
    EXPECT_EQ(both.exitCode, 18);
    EXPECT_EQ(both.err, "zentrix-update: --watch and --all cannot both be used; --watch (given first) wins\n");
    EXPECT_NE(both.out.find("Every calculator connected from now on is updated"), std::string::npos) << both.out;
}

// Nothing configured is said once, before the first prompt, in every mode;
// standard output stays as it was.
TEST_F(DeviceChoice, NothingConfiguredIsOneLineOnStandardErrorInEveryMode)
{
    const std::string hint = "zentrix-update: no calculator is configured: name the calculator with --device ";
    const ProcessResult single = Run({}, "", "ok\ncancel\n");
    EXPECT_EQ(single.out, kConnect + kWarning);
    EXPECT_EQ(single.err.rfind(hint, 0), 0u) << single.err;
    EXPECT_NE(single.err.find("the configuration file is " + UserFile().string()), std::string::npos);
    EXPECT_EQ(Occurrences(single.err, "\n"), 1u) << single.err;

    for (const char* mode : {"--all", "--watch"}) {
        SCOPED_TRACE(mode);
        const ProcessResult run = Run({mode}, "", "ok\ncancel\n");
        EXPECT_EQ(run.exitCode, 18);
        EXPECT_EQ(run.out.rfind("== Connect the calculators. ==\n", 0), 0u) << run.out;
        EXPECT_EQ(run.err.rfind(hint, 0), 0u) << run.err;
        EXPECT_EQ(Occurrences(run.err, hint), 1u);
    }
}

TEST_F(DeviceChoice, ListDevicesListsTheChosenSourceAndSaysWhereItCameFrom)
{
    Write(UserFile(), "device = /dev/zentrix-from-file\n");
    const ProcessResult fromFile = Run({"--list-devices"}, "", "");
    EXPECT_EQ(fromFile.exitCode, 0);
    EXPECT_EQ(fromFile.out, "/dev/zentrix-from-file  may open: no (No such file or directory)\n");
    EXPECT_EQ(fromFile.err, "zentrix-update: the calculators listed are those named by " + UserFile().string() + "\n");

    const ProcessResult fromOption = Run({"--list-devices", "--device", kDecoy, "--device", "/dev/null"}, "", "");
    EXPECT_EQ(fromOption.out, kDecoy + "  may open: no (No such file or directory)\n/dev/null  may open: yes\n");
    EXPECT_EQ(fromOption.err,
              "zentrix-update: the calculators listed are those named by the command line (--device, --usb-id)\n");
}

}  // namespace

// --debug says why each configured calculator was not updated: one not
// plugged in, one whose port the system refuses this user (as root the run
// is made as nobody, whom the port's permissions leave out). Without it,
// and in --json's output, nothing of it.
TEST_F(DeviceChoice, DebugSaysOfEachCalculatorWhyItWasPassedOverOrRefused)
{
    StartCalculator(1);
    const std::string unplugged = "/dev/zentrix-unplugged";
    Write(UserFile(), "device = " + unplugged + "\ndevice = " + m_pty + "\n");
    std::vector<std::string> asUser;
    if (geteuid() == 0) {
        ASSERT_EQ(chown(m_pty.c_str(), 0, 0), 0);
        asUser = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        ASSERT_TRUE(fs::exists(asUser[0])) << "setpriv (util-linux) runs the program as another user";
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_dir)) {
            fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
        }
        fs::permissions(m_dir, fs::perms::all, fs::perm_options::add);
    }
    ASSERT_EQ(chmod(m_pty.c_str(), 0600), 0);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(m_pty.c_str(), 0), 0);
    }
    const auto run = [&](std::vector<std::string> options, const std::vector<std::string>& env) {
        std::vector<std::string> argv = asUser;
        argv.push_back(ZENTRIX_UPDATE_BIN);
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back((m_dir / "img").string());
        std::vector<std::string> environment = {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=",
                                                "TMPDIR=" + (m_dir / "scratch").string(),
                                                "XDG_CONFIG_HOME=" + (m_dir / "user").string(),
                                                "XDG_STATE_HOME=" + (m_dir / "scratch").string(),
                                                "ZENTRIX_MACHINE_CONFIG_DIR=" + (m_dir / "machine").string()};
        environment.insert(environment.end(), env.begin(), env.end());
        return RunProcess(argv, environment, "", 60000);
    };
    const ProcessResult debugged = run({"--all", "--yes", "--debug"}, {});
    const std::string file = UserFile().string();
    for (const std::string& line : {
             "zentrix-update: debug: " + file + ":1: device = " + unplugged + "\n",
             "zentrix-update: debug: calculators looked for, from " + file + ": " + unplugged + " " + m_pty,
             "zentrix-update: debug: passed over " + unplugged + ": not plugged in (no such device now)\n",
             "zentrix-update: debug: the system refused " + m_pty + ": Permission denied (" + m_pty + " is owner ",
             "zentrix-update: debug: run on " + m_pty + " ended failed: cannot open " + m_pty,
         }) {
        EXPECT_EQ(Occurrences(debugged.err, line), 1u) << line << "\n" << debugged.err;
    }
    EXPECT_EQ(debugged.out.find("debug"), std::string::npos) << debugged.out;
    const ProcessResult json = run({"--all", "--json"}, {"ZENTRIX_DEBUG=1"});
    EXPECT_NE(json.err.find("debug: passed over " + unplugged), std::string::npos) << json.err;
    EXPECT_EQ(json.out.find("debug"), std::string::npos) << json.out;
    const ProcessResult quiet = run({"--all", "--yes"}, {});
    EXPECT_EQ(quiet.err.find("debug"), std::string::npos) << quiet.err;
    EXPECT_NE(quiet.err.find("cannot open " + m_pty), std::string::npos) << quiet.err;
}
