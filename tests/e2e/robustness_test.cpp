// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update under the things users and the system do to it:
// failures that must say why, options, odd environments, signals at every
// stage of an update, silent calculators.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"
#include "tests/e2e/console_texts.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::string>;   // an empty value unsets the variable

using namespace console_texts;
const std::string kTerminate = "18 30 30 30 37 30";     // the ending after a complete update
const std::string kTerminate04 = "18 30 34 30 36 43";   // the ending of a run that gave up

// The updater started in the background: answers on standard input, both
// outputs into files, its environment exactly the test's.
class CUpdater {
public:
    // With `keepInputOpen` standard input stays open after the answers:
    // the next prompt waits for a line.
    CUpdater(const std::vector<std::string>& argv, const Env& env, const std::string& answers, const fs::path& dir,
             bool closeStandardError = false, bool keepInputOpen = false)
        : m_out(dir / "out.txt"), m_err(dir / "err.txt")
    {
        fs::remove(m_out);   // what an earlier run left must not look like this one's
        fs::remove(m_err);
        int in[2];
        if (pipe(in) != 0) {
            return;
        }
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) {
                environment.push_back(entry);
            }
        }
        for (const auto& [name, value] : env) {
            if (!value.empty()) {
                environment.push_back(name + "=" + value);
            }
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
            if (closeStandardError) {
                close(STDERR_FILENO);
            } else {
                dup2(open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            std::vector<char*> envp;
            for (std::string& e : environment) {
                envp.push_back(e.data());
            }
            envp.push_back(nullptr);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        if (write(in[1], answers.data(), answers.size()) < 0) {
            ADD_FAILURE() << "cannot write the answers";
        }
        if (keepInputOpen) {
            m_input = in[1];
        } else {
            close(in[1]);
        }
    }
    ~CUpdater()
    {
        if (m_input >= 0) {
            close(m_input);
        }
        if (m_pid > 0 && !m_done) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }

    void Signal(int signal) const { kill(m_pid, signal); }
    // The exit code; -1 when killed or still running after `seconds`.
    int Wait(int seconds = 60)
    {
        // At least one look, so that Wait(0) tells a process that has ended.
        for (int i = 0; (i == 0 || i < seconds * 100) && !m_done; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_done = true;
                m_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return m_code;
    }
    std::string Out() const { return FileText(m_out); }
    std::string Err() const { return FileText(m_err); }

private:
    fs::path m_out;
    fs::path m_err;
    pid_t m_pid = -1;
    int m_input = -1;   // the open end of standard input, with keepInputOpen
    bool m_done = false;
    int m_code = -1;
};

class Robustness : public ::testing::Test {
protected:
    Robustness()
    {
        m_dir = MakeDemoFolder("zentrix-e2e", ZENTRIX_SIM_BIN);
        // Reachable by a program run as another user (the permission test).
        fs::permissions(m_dir, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        fs::permissions(m_dir / "scratch", fs::perms::all | fs::perms::sticky_bit);
    }
    ~Robustness() override { fs::remove_all(m_dir); }

    std::unique_ptr<CBackgroundProcess> StartCalculator(std::vector<std::string> options)
    {
        std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--verdict", "--expect-stub", Image("UpdateExe.bin"),
                                         "--expect-os", Image("UpdateCode.bin")};
        argv.insert(argv.end(), options.begin(), options.end());
        auto calculator = std::make_unique<CBackgroundProcess>(argv);
        m_device = calculator->ReadLine();
        return calculator;
    }
    // The environment of a console run on m_device with a trace.
    Env ConsoleEnv() const
    {
        return {{"ZENTRIX_UI", "console"},          {"ZENTRIX_DEVICES", m_device},
                {"ZENTRIX_USB_IDS", ""},            {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""},            {"TMPDIR", (m_dir / "scratch").string()},
                {"ZENTRIX_TRACE", Trace().string()}, {"ZENTRIX_REPLY_TIMEOUT", ""},
                // No configuration file of the machine's or the user's counts.
                {"XDG_CONFIG_HOME", (m_dir / "no-config").string()},
                {"ZENTRIX_MACHINE_CONFIG_DIR", (m_dir / "no-config").string()}};
    }
    std::unique_ptr<CUpdater> Start(const Env& env, const std::string& answers, std::vector<std::string> args = {})
    {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, (m_dir / "img").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<CUpdater>(argv, env, answers, m_dir);
    }
    // What the updater last wrote to the calculator, as the trace shows it.
    std::string LastWritten() const
    {
        std::istringstream lines(FileText(Trace()));
        std::string line;
        std::string last;
        while (std::getline(lines, line)) {
            const size_t at = line.find(" > ");
            if (at != std::string::npos) {
                last = line.substr(at + 3, kTerminate.size());
            }
        }
        return last;
    }
    size_t TraceLines() const
    {
        const std::string text = FileText(Trace());
        return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    }
    fs::path Trace() const { return m_dir / "trace.txt"; }
    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }
    bool ScratchIsEmpty() const { return fs::is_empty(m_dir / "scratch"); }

    fs::path m_dir;
    std::string m_device;
};

TEST_F(Robustness, EveryFailureSaysWhyOnStandardErrorAndTheOutputStaysAsItWas)
{
    struct Case {
        const char* what;
        std::vector<std::string> calculator;   // empty: no calculator is started
        Env env;
        std::string text;
        std::string reason;
    };
    const std::string unsupported = "Your calculator is a model that is not supported.";
    const std::string current =
        "The operating system of your calculator is the same as or later than the operating system you are "
        "trying to update to.\nYou do not need to update your operating system.";
    const std::vector<Case> cases = {
        {"link lost", {"--fault", "hangup:3"}, {}, "Update failed.", "the link to the calculator was lost"},
        {"unexpected reply", {"--fault", "corrupt:0"}, {}, "Update failed.",
         "the connection check: the calculator answered \"<06>10070\" where Ack was expected"},
        {"unsupported", {"--model", "12345678"}, {}, unsupported, "model code 12345678 is not one this program supports"},
        {"already current", {"--os-version", "02.00.0000"}, {}, current,
         "the calculator runs OS 02.00, already at or above the image's 01.05"},
        {"no calculator", {}, {{"ZENTRIX_DEVICES", ""}}, "Update failed.",
         "no calculator found (no calculator is configured: name the calculator with --device"},
        {"no such device", {}, {{"ZENTRIX_DEVICES", "/dev/zentrix-none"}}, "Update failed.",
         "cannot open /dev/zentrix-none: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CBackgroundProcess> calculator;
        if (!c.calculator.empty()) {
            calculator = StartCalculator(c.calculator);
        }
        Env env = ConsoleEnv();
        for (const auto& [name, value] : c.env) {
            env[name] = value;
        }
        auto updater = Start(env, "ok\nok\nok\n\n");
        EXPECT_EQ(updater->Wait(), 18);
        EXPECT_EQ(updater->Out(), kPrompts + Error(c.text));
        // One line: "zentrix-update: WHAT WAS BEING DONE: WHAT WENT WRONG".
        const std::string err = updater->Err();
        const size_t at = err.find(c.reason);
        ASSERT_NE(at, std::string::npos) << err;
        EXPECT_EQ(err.rfind("zentrix-update: ", at), err.rfind('\n', at) + 1) << err;
        EXPECT_TRUE(ScratchIsEmpty());
    }
    // The trace keeps the reason of the last run that reached a calculator.
    EXPECT_NE(FileText(Trace()).find("the calculator runs OS 02.00"), std::string::npos);

    // A missing image: named, before anything is asked or any calculator
    // is touched.
    auto calculator = StartCalculator({});
    fs::remove(Image("UpdateExe.bin"));
    auto updater = Start(ConsoleEnv(), "ok\nok\nok\n\n");
    EXPECT_EQ(updater->Wait(), 18);
    EXPECT_EQ(updater->Out().rfind("== Error ==\nThe images cannot be used; nothing was sent to a calculator.\n\n"
                                   "image missing: " + Image("UpdateExe.bin"), 0),
              0u)
        << updater->Out();
}

// Whether the user `nobody` can reach `dir`: every folder above it lets
// others through. The first that does not, or empty.
fs::path FolderClosedToOthers(const fs::path& dir)
{
    for (fs::path at = fs::absolute(dir); !at.empty(); at = at.parent_path()) {
        struct stat st {};
        if (stat(at.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) {
            return at;
        }
        if (at == at.root_path()) {
            break;
        }
    }
    return {};
}

// The program and its enumeration library copied where `nobody` can run
// them: the build folder may be in a private checkout (mktemp -d, a 0700
// home). The program path, or empty with `why` set.
std::string CopyProgramForOthers(const fs::path& dir, std::string& why)
{
    const fs::path closed = FolderClosedToOthers(dir);
    if (!closed.empty()) {
        why = "another user cannot reach " + dir.string() + " (" + closed.string() + " is closed to others)";
        return {};
    }
    const fs::path bin = dir / "bin";
    std::error_code error;
    fs::create_directories(bin, error);
    fs::copy_file(ZENTRIX_UPDATE_BIN, bin / "zentrix-update", error);
    if (!error && std::string(ZENTRIX_ZRENUM_LIB).size() > 0) {
        fs::copy_file(ZENTRIX_ZRENUM_LIB, bin / ZENTRIX_ZRENUM_SONAME, error);
    }
    if (error) {
        why = "cannot copy the program for another user: " + error.message();
        return {};
    }
    const auto readAndRun = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec;
    for (const auto& entry : fs::directory_iterator(bin)) {
        fs::permissions(entry.path(), readAndRun);
    }
    fs::permissions(bin, readAndRun);
    return (bin / "zentrix-update").string();
}

TEST_F(Robustness, APortWithoutPermissionSaysSoAndHowToGetIt)
{
    auto calculator = StartCalculator({});
    std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, (m_dir / "img").string()};
    Env env = ConsoleEnv();
    if (geteuid() == 0) {
        // Root opens anything: run as nobody, with the device left to root,
        // from a copy of the program that nobody can reach.
        std::string why;
        argv[0] = CopyProgramForOthers(m_dir, why);
        if (argv[0].empty()) {
            GTEST_SKIP() << why;
        }
        env["LD_LIBRARY_PATH"] = (m_dir / "bin").string();
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        ASSERT_EQ(chmod(m_device.c_str(), 0600), 0);
        ASSERT_EQ(chown(m_device.c_str(), 0, 0), 0);
        fs::permissions(m_dir / "img", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
        for (const char* name : {"UpdateExe.bin", "UpdateCode.bin"}) {
            fs::permissions(Image(name), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
    } else {
        ASSERT_EQ(chmod(m_device.c_str(), 0), 0);
    }
    env["ZENTRIX_TRACE"] = "";
    CUpdater updater(argv, env, "ok\nok\nok\n\n", m_dir);
    EXPECT_EQ(updater.Wait(), 18);
    EXPECT_EQ(updater.Out(), kPrompts + Error("Update failed."));
    EXPECT_NE(updater.Err().find("zentrix-update: cannot open " + m_device + ": Permission denied; for USB an "
                                 "administrator installs the udev rule with zentrix-update --grant-access vvvv:pppp"),
              std::string::npos)
        << updater.Err();
}

TEST_F(Robustness, HelpAndVersionAnswerAndAskNothing)
{
    for (const char* option : {"--help", "-h"}) {
        auto updater = Start(ConsoleEnv(), "", {option});
        EXPECT_EQ(updater->Wait(), 0);
        EXPECT_EQ(updater->Out().rfind("Usage: zentrix-update [DIR [OWNER]]\n", 0), 0u) << updater->Out();
        EXPECT_NE(updater->Out().find("ZENTRIX_REPLY_TIMEOUT"), std::string::npos);
        EXPECT_NE(updater->Out().find("man zentrix-update"), std::string::npos);
        // Every option's lines come from its declaration, --history's and --report-problem's too.
        EXPECT_NE(updater->Out().find("\n  --history [--json | --csv] [--since DATE]\n"), std::string::npos);
        EXPECT_NE(updater->Out().find("\n  --report-problem [FILE]\n"), std::string::npos);
    }
    for (const char* option : {"--version", "-V"}) {
        auto updater = Start(ConsoleEnv(), "", {option});
        EXPECT_EQ(updater->Wait(), 0);
        EXPECT_EQ(updater->Out(), "zentrix-update 1.0.0.1\n");
        EXPECT_EQ(updater->Err(), "");
    }
}

TEST_F(Robustness, UnknownUiValuesAndUnreachableDisplaysFallBackToTheConsoleWithOneLine)
{
    Env env = ConsoleEnv();
    env["ZENTRIX_DEVICES"] = "/dev/zentrix-none";   // nothing to say about the devices
    env["ZENTRIX_UI"] = "bogus";
    auto warned = Start(env, "ok\ncancel\n");
    EXPECT_EQ(warned->Wait(), 18);
    EXPECT_EQ(warned->Err(), "zentrix-update: ZENTRIX_UI=bogus is neither gui nor console; choosing by the display\n");

    // A display that is set but not there: never an abort inside the toolkit.
    env["ZENTRIX_UI"] = "";
    env["DISPLAY"] = ":97";
    env["QT_QPA_PLATFORM"] = "xcb";
    auto fallback = Start(env, "ok\ncancel\n");
    EXPECT_EQ(fallback->Wait(), 18);
    EXPECT_EQ(fallback->Out().rfind("== Connect the calculator. ==\n", 0), 0u);
    const std::string why = ZENTRIX_HAS_WINDOW ? "cannot open a window (no display can be reached at DISPLAY=:97)"
                                               : "this build has no window front end";
    EXPECT_EQ(fallback->Err(), "zentrix-update: " + why + "; using the console\n");
}

TEST_F(Robustness, SignalsAtAnyPointLeaveTheCalculatorWholeOrToldToEndAndTheTtyAsItWas)
{
    // Each signal at a spread of points of both routes, counted in lines of
    // the trace (0 is before the first packet). SIGQUIT ends like SIGTERM;
    // the signals that ask nothing of the program leave the update going.
    const std::vector<size_t> points = {0, 4, 40, 300, 700};
    const std::vector<size_t> fewerPoints = {4, 300};
    const std::vector<std::pair<int, const std::vector<size_t>*>> signals = {
        {SIGTERM, &points},     {SIGHUP, &points},      {SIGPIPE, &points},     {SIGINT, &points},
        {SIGQUIT, &fewerPoints}, {SIGUSR1, &fewerPoints}, {SIGALRM, &fewerPoints}, {SIGXFSZ, &fewerPoints}};
    for (const bool stubRoute : {false, true}) {
        for (const auto& [signal, at] : signals) {
            for (const size_t point : *at) {
                SCOPED_TRACE(std::string(stubRoute ? "stub route" : "OS route") + ", signal " +
                             std::to_string(signal) + " at trace line " + std::to_string(point));
                fs::remove(Trace());
                // Two runs: the calculator (and with it its terminal) stays
                // after the one run of this test, to be looked at.
                auto calculator = StartCalculator(
                    {"--runs", "2", "--route", stubRoute ? "stub" : "os", "--block-size", "256"});
                // The terminal as a user left it; the update makes it raw.
                {
                    const int slave = open(m_device.c_str(), O_RDWR | O_NOCTTY);
                    ASSERT_GE(slave, 0);
                    termios cooked{};
                    tcgetattr(slave, &cooked);
                    cooked.c_lflag |= ICANON | ECHO;
                    tcsetattr(slave, TCSANOW, &cooked);
                    close(slave);
                }
                auto updater = Start(ConsoleEnv(), "ok\nok\nok\ncancel\n");
                // The program is under way once its first box is out.
                for (int i = 0; i < 5000 && (updater->Out().empty() || TraceLines() < point) &&
                                updater->Wait(0) == -1;
                     ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                updater->Signal(signal);
                ASSERT_EQ(updater->Wait(), 18);
                const std::string last = LastWritten();
                if (last.empty()) {
                    // The signal came while a box was up: only SIGTERM and
                    // Ctrl+C end the program there, and nothing was sent.
                    EXPECT_TRUE(signal == SIGTERM || signal == SIGINT || signal == SIGQUIT);
                    EXPECT_EQ(TraceLines(), 0u);
                } else if (signal == SIGTERM || signal == SIGQUIT) {
                    EXPECT_TRUE(last == kTerminate || last == kTerminate04) << last;
                    if (last == kTerminate04) {
                        EXPECT_NE(updater->Err().find("zentrix-update: Update failed."), std::string::npos);
                    }
                } else {
                    ASSERT_EQ(last, kTerminate);   // not even stopped: the update went on to its end
                    EXPECT_NE(calculator->ReadLine().find("images received intact"), std::string::npos);
                }
                const int slave = open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                ASSERT_GE(slave, 0);
                termios after{};
                tcgetattr(slave, &after);
                EXPECT_EQ(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
                close(slave);
                EXPECT_TRUE(ScratchIsEmpty());
            }
        }
    }
}

TEST_F(Robustness, CtrlCAtTheConnectPromptEndsTheProgramWithNothingSent)
{
    auto calculator = StartCalculator({"--runs", "1"});
    CUpdater updater({ZENTRIX_UPDATE_BIN, (m_dir / "img").string()}, ConsoleEnv(), "", m_dir, false, true);
    for (int i = 0; i < 1000 && updater.Out() != kConnect; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(updater.Out(), kConnect);
    updater.Signal(SIGINT);
    EXPECT_EQ(updater.Wait(10), 18);
    EXPECT_EQ(updater.Out(), kConnect);   // no warning followed
    EXPECT_EQ(TraceLines(), 0u);
}

TEST_F(Robustness, ATraceThatCannotBeUsedIsOneWarningAndTheUpdateGoesOn)
{
    // Two launcher updates in a row: the calculator is back at once, with its old system.
    auto calculator = StartCalculator({"--runs", "2", "--restart-time", "0", "--after-update", "keep"});
    const fs::path victim = m_dir / "victim";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, Trace());
    auto updater = Start(ConsoleEnv(), "ok\nok\nok\ncancel\n");
    EXPECT_EQ(updater->Wait(), 18);
    EXPECT_NE(updater->Err().find("zentrix-update: cannot open trace file " + Trace().string()), std::string::npos)
        << updater->Err();
    EXPECT_NE(calculator->ReadLine().find("images received intact"), std::string::npos);
    EXPECT_EQ(FileText(victim), "keep");   // the link was not followed

    // A trace that grows past the file size limit (200 KB: the scratch
    // copies fit, the trace of a whole update does not) stops with one
    // warning; SIGXFSZ does not end the program and the update goes on.
    fs::remove(Trace());
    CUpdater limited({"/bin/sh", "-c", "ulimit -f 400; exec \"$0\" \"$@\"", ZENTRIX_UPDATE_BIN,
                      (m_dir / "img").string()},
                     ConsoleEnv(), "ok\nok\nok\ncancel\n", m_dir);
    EXPECT_EQ(limited.Wait(), 18);
    EXPECT_EQ(limited.Out(), kPrompts + kComplete);
    const std::string warning = "zentrix-update: the trace file cannot be written (File too large)";
    EXPECT_NE(limited.Err().find(warning), std::string::npos) << limited.Err();
    EXPECT_EQ(limited.Err().find(warning), limited.Err().rfind(warning));   // once
    EXPECT_NE(calculator->ReadLine().find("images received intact"), std::string::npos);
}

TEST_F(Robustness, WithoutStandardErrorNoProgressReachesTheCalculator)
{
    auto calculator = StartCalculator({"--runs", "1"});
    std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, (m_dir / "img").string()};
    CUpdater updater(argv, ConsoleEnv(), "ok\nok\nok\ncancel\n", m_dir, true);
    EXPECT_EQ(updater.Wait(), 18);
    EXPECT_NE(calculator->ReadLine().find("images received intact"), std::string::npos);
    EXPECT_EQ(calculator->Wait(), 0);
}

TEST_F(Robustness, ASilentCalculatorEndsTheRunAtTheReplyTimeoutOrAtCtrlCAfterTenSeconds)
{
    auto calculator = StartCalculator({"--fault", "silent:300"});
    Env env = ConsoleEnv();
    env["ZENTRIX_REPLY_TIMEOUT"] = "1";
    auto timed = Start(env, "ok\nok\nok\n\n");
    EXPECT_EQ(timed->Wait(30), 18);
    EXPECT_EQ(timed->Out(), kPrompts + Error("Update failed."));
    EXPECT_NE(timed->Err().find("the calculator did not answer for 1 s (the limit set by ZENTRIX_REPLY_TIMEOUT)"),
              std::string::npos)
        << timed->Err();
    EXPECT_EQ(LastWritten(), kTerminate04);

    // Without a limit the run waits; Ctrl+C is refused while the calculator
    // is only slow, and ends the run once it has been silent for 10 s.
    calculator = StartCalculator({"--fault", "silent:300"});
    fs::remove(Trace());
    auto waiting = Start(ConsoleEnv(), "ok\nok\nok\n\n");
    while (TraceLines() < 300 && waiting->Wait(0) == -1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    waiting->Signal(SIGINT);
    EXPECT_EQ(waiting->Wait(1), -1);   // still waiting
    std::this_thread::sleep_for(std::chrono::seconds(8));
    waiting->Signal(SIGINT);
    EXPECT_EQ(waiting->Wait(10), 18);
    EXPECT_NE(waiting->Err().find("the calculator is not answering; press Ctrl+C to stop the update"),
              std::string::npos);
    EXPECT_NE(waiting->Err().find("stopped while the calculator had not answered for"), std::string::npos);
    EXPECT_EQ(LastWritten(), kTerminate04);
    EXPECT_TRUE(ScratchIsEmpty());
}

// Calculators that go wrong in ways a reply check alone cannot see: every
// wait ends, and nothing is "complete" that the calculator did not finish.
TEST_F(Robustness, AStalledTricklingOrOutOfStepCalculatorNeverHangsAndIsNeverReportedComplete)
{
    struct Case {
        const char* what;
        std::vector<std::string> calculator;
        const char* timeout;     // ZENTRIX_REPLY_TIMEOUT; empty: Ctrl+C after 10 s
        std::string reason;
        const char* verdict;     // what the calculator saw
    };
    const std::vector<Case> cases = {
        {"stops taking data, limit", {"--fault", "stall:300"}, "3",
         "the calculator stopped taking data for 3 s (the limit set by ZENTRIX_REPLY_TIMEOUT)", "link lost"},
        {"stops taking data, Ctrl+C", {"--fault", "stall:300"}, "",
         "stopped after the calculator had taken no data for", "link lost"},
        {"trickling reply", {"--fault", "trickle:10"}, "4",
         "the calculator did not answer for 4 s (the limit set by ZENTRIX_REPLY_TIMEOUT)", nullptr},
        {"spare Ack, rejected tail check", {"--fault", "duplicate:300", "--reject-tail", "3"}, "",
         "\"<06>00070\" that answers nothing the program asked", "Terminate04"},
        {"flood of Acks", {"--fault", "flood:290"}, "", "that answers nothing the program asked", "Terminate04"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto calculator = StartCalculator(c.calculator);
        Env env = ConsoleEnv();
        env["ZENTRIX_REPLY_TIMEOUT"] = c.timeout;
        const auto start = std::chrono::steady_clock::now();
        auto updater = Start(env, "ok\nok\nok\n\n");
        if (*c.timeout == '\0' && c.verdict == std::string("link lost")) {
            std::this_thread::sleep_for(std::chrono::seconds(3));
            updater->Signal(SIGINT);
            EXPECT_EQ(updater->Wait(1), -1);   // refused: the calculator has been stuck only briefly
            std::this_thread::sleep_for(std::chrono::seconds(8));
            updater->Signal(SIGINT);
        }
        ASSERT_EQ(updater->Wait(30), 18);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_EQ(updater->Out(), kPrompts + Error("Update failed."));
        EXPECT_NE(updater->Err().find(c.reason), std::string::npos) << updater->Err();
        EXPECT_TRUE(ScratchIsEmpty());
        kill(calculator->Pid(), SIGTERM);
        const std::string verdict = calculator->ReadLine();
        EXPECT_EQ(verdict.find("images received intact"), std::string::npos) << verdict;
        if (c.verdict != nullptr) {
            EXPECT_NE(verdict.find(c.verdict), std::string::npos) << verdict;
        }
    }
}

// No raw ESC (nor any other control but the line feed) in an output: empty,
// or the control's code and the text around it.
std::string RawControl(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7f) {
            const size_t from = i < 100 ? 0 : i - 100;
            return "raw control " + std::to_string(c) + " in: " + text.substr(from, 200);
        }
    }
    return "";
}

TEST_F(Robustness, OutsideTextReachesNeitherOutputRawAndLongValuesAreCut)
{
    // The terminal's title, a bell and a full reset, as a calculator or an
    // image header may hold them (ten bytes: a version field's length).
    const std::string attack = "\x1b]0;pwn\x07\x1b" "c";
    const std::string attackShown = "\\x1b]0;pwn\\x07\\x1bc";
    // Read as version 99.9 (at or above the image's): only its first five
    // characters are shown.
    const std::string highVersion = "99.9\x1b.\x1b" "c\x07.";
    const std::string current =
        "The operating system of your calculator is the same as or later than the operating system you are "
        "trying to update to.\nYou do not need to update your operating system.";
    const std::string hugeUi = "\x1b]0;t\x07" + std::string(120 * 1024, 'u');
    struct Case {
        const char* what;
        std::vector<std::string> calculator;   // empty: no calculator is started
        Env env;
        std::string imageVersion;   // empty: the demo image's
        std::string answers;
        std::string out;
        std::string err;   // a part of standard error
    };
    const std::vector<Case> cases = {
        {"calculator's version unreadable", {"--os-version", attack}, {}, "", "ok\nok\nok\n\n",
         kPrompts + Error("Update failed."), "the calculator's OS version \"" + attackShown + "\" cannot be read"},
        {"calculator's version current", {"--os-version", highVersion}, {}, "", "ok\nok\nok\n\n",
         kPrompts + Error(current), "the calculator runs OS 99.9\\x1b, already at or above the image's 01.05"},
        // Said before anything is asked, escaped.
        {"image's version unreadable", {}, {}, "\x1b]0;x\x07\x1b" "c..", "ok\nok\nok\n\n",
         "== Error ==\nThe images cannot be used; nothing was sent to a calculator.\n\nthe OS image's version "
         "\"\\x1b]0;x\\x07\\x1bc..\" cannot be read\n[OK]\n",
         ""},
        {"device path", {}, {{"ZENTRIX_DEVICES", (m_dir / "no\x1b[2J\nsuch").string()}}, "", "ok\nok\nok\n\n",
         kPrompts + Error("Update failed."),
         "cannot open " + (m_dir / "no\\x1b[2J\\nsuch").string() + ": No such file or directory"},
        // An entry that is no USB ID is left out, never echoed.
        {"devices searched", {}, {{"ZENTRIX_DEVICES", ""}, {"ZENTRIX_USB_IDS", "fffe:fffd,\x1b]0;t\x07"}}, "",
         "ok\nok\nok\n\n", kPrompts + Error("Update failed."),
         "no calculator found (searched USB devices with IDs fffe:fffd (from the environment"},
        {"ZENTRIX_UI", {}, {{"ZENTRIX_UI", hugeUi}}, "", "ok\ncancel\n", kConnect + kWarning,
         // 200 characters shown: the six of the escape, then 194 of the rest.
         "zentrix-update: ZENTRIX_UI=\\x1b]0;t\\x07" + std::string(194, 'u') +
             "... is neither gui nor console; choosing by the display\n"},
        {"ZENTRIX_REPLY_TIMEOUT", {}, {{"ZENTRIX_REPLY_TIMEOUT", "\x1b" "c2"}}, "", "ok\ncancel\n", kConnect + kWarning,
         "zentrix-update: ZENTRIX_REPLY_TIMEOUT=\\x1bc2 is not a number of seconds; it is ignored\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string imageVersion = c.imageVersion.empty() ? "01.05.0000" : c.imageVersion;
        ASSERT_EQ(RunProcess({ZENTRIX_SIM_BIN, "--write-demo-images", (m_dir / "img").string(), "--image-version",
                              imageVersion},
                             {}, "")
                      .exitCode,
                  0);
        std::unique_ptr<CBackgroundProcess> calculator;
        if (!c.calculator.empty() || !c.imageVersion.empty()) {
            calculator = StartCalculator(c.calculator);
        }
        Env env = ConsoleEnv();
        for (const auto& [name, value] : c.env) {
            env[name] = value;
        }
        auto updater = Start(env, c.answers);
        EXPECT_EQ(updater->Wait(), 18);
        EXPECT_EQ(updater->Out(), c.out);
        const std::string err = updater->Err();
        EXPECT_NE(err.find(c.err), std::string::npos) << err.substr(0, 2000);
        EXPECT_EQ(RawControl(err), "");
        EXPECT_LT(err.size(), 2000u);   // no value is echoed whole
        EXPECT_EQ(RawControl(FileText(Trace())), "");
    }

    // A set of one, on a path that holds escapes and a line feed (no ';',
    // which separates the paths): its row,
    // its summary line and its count show it as one line, escaped.
    const fs::path link = m_dir / "calc\x1b[2J\x07\nupdated forged";
    const std::string linkShown = (m_dir / "calc\\x1b[2J\\x07\\nupdated forged").string();
    auto calculator = StartCalculator({"--os-version", highVersion});
    fs::create_symlink(m_device, link);
    Env env = ConsoleEnv();
    env["ZENTRIX_DEVICES"] = link.string();
    CUpdater all({ZENTRIX_UPDATE_BIN, "--all", (m_dir / "img").string()}, env, "ok\nok\nok\ncancel\n", m_dir);
    EXPECT_EQ(all.Wait(), 18);
    const std::string summary = "current " + linkShown +
                                " the version check: the calculator runs OS 99.9\\x1b, already at or above the "
                                "image's 01.05\n== Complete ==\n1 calculator: 0 updated, 1 already current, 0 not "
                                "supported, 0 failed.\nDo you want to update another set?\n[OK] Cancel\n";
    EXPECT_NE(all.Out().find(summary), std::string::npos) << all.Out();
    EXPECT_NE(WithoutTimes(all.Err()).find("Updating 1 calculator at once\n" + linkShown + "  "), std::string::npos)
        << all.Err();
    EXPECT_EQ(RawControl(all.Out()), "");
    EXPECT_EQ(RawControl(all.Err()), "");

    // --list-devices: one line per offered path, whatever the path holds.
    env["ZENTRIX_DEVICES"] = link.string() + ";" + (m_dir / "x\nforged  may open: yes").string();
    CUpdater list({ZENTRIX_UPDATE_BIN, "--list-devices"}, env, "", m_dir);
    EXPECT_EQ(list.Wait(), 0);
    EXPECT_EQ(list.Out(), linkShown + "  may open: yes\n" + (m_dir / "x\\nforged  may open: yes").string() +
                              "  may open: no (No such file or directory)\n");
}

TEST_F(Robustness, ABusyPortAndAPathThatIsNoDeviceSaySoAndWhatToDo)
{
    // Another program holds the port's lock (as root does; TIOCEXCL does
    // not stop root).
    auto calculator = StartCalculator({});
    {
        const int holder = open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        auto updater = Start(ConsoleEnv(), "ok\nok\nok\n\n");
        EXPECT_EQ(updater->Wait(), 18);
        EXPECT_EQ(updater->Out(), kPrompts + Error("Update failed."));
        EXPECT_NE(updater->Err().find("zentrix-update: cannot open " + m_device +
                                      ": Device or resource busy; another program has the device open: close it "
                                      "and start again"),
                  std::string::npos)
            << updater->Err();
        close(holder);
    }
    // A file, a folder and a pipe named as the device.
    std::ofstream(m_dir / "file") << "not a calculator";
    ASSERT_EQ(mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    for (const fs::path& path : {m_dir / "file", m_dir / "img", m_dir / "fifo"}) {
        SCOPED_TRACE(path);
        Env env = ConsoleEnv();
        env["ZENTRIX_DEVICES"] = path.string();
        auto updater = Start(env, "ok\nok\nok\n\n");
        EXPECT_EQ(updater->Wait(), 18);
        EXPECT_EQ(updater->Out(), kPrompts + Error("Update failed."));
        EXPECT_NE(updater->Err().find("zentrix-update: cannot open " + path.string() +
                                      ": it is not a device (a file, a folder or a pipe); name the calculator's "
                                      "serial port or USB device"),
                  std::string::npos)
            << updater->Err();
    }
    EXPECT_EQ(FileText(m_dir / "file"), "not a calculator");
}

}  // namespace
