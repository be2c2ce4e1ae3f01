// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update updating many simulated calculators at once in
// console mode: a set of eight with every kind of ending, and a station that
// calculators join and leave while others are being updated. Each calculator
// checks what it received, so a run that strayed onto another calculator's
// line, or was disturbed by another run, shows in its verdict.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_texts.h"
#include "tests/e2e/demo_folder.h"
#include "tests/e2e/image_rewrite.h"
#include "tests/e2e/terminal_screen.h"

namespace {

namespace fs = std::filesystem;
using console_texts::WithoutTimes;

class Classroom : public ::testing::Test {
protected:
    Classroom()
    {
        m_dir = MakeDemoFolder("zentrix-class", ZENTRIX_SIM_BIN);
    }
    ~Classroom() override
    {
        m_calculators.clear();
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    // A simulated calculator; returns its pty's path. It judges the OS image
    // it receives against `expectOs` (default: the folder's).
    std::string StartCalculator(std::vector<std::string> options, const std::string& expectOs = {})
    {
        std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--verdict", "--runs", "1",
                                         "--expect-stub", Image("UpdateExe.bin"),
                                         "--expect-os", expectOs.empty() ? Image("UpdateCode.bin") : expectOs};
        argv.insert(argv.end(), options.begin(), options.end());
        m_calculators.push_back(std::make_unique<CBackgroundProcess>(argv));
        const std::string path = m_calculators.back()->ReadLine();
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
        return path;
    }
    // What calculator `i` said about its run, and its exit code.
    std::string Verdict(size_t i) { return m_calculators[i]->ReadRest(); }

    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }
    // The records a station or set with the fixture's state folder kept.
    long HistoryLines() const
    {
        std::ifstream history(m_dir / "state" / "zentrix-update" / "history.jsonl");
        return std::count(std::istreambuf_iterator<char>(history), {}, '\n');
    }

    fs::path m_dir;
    std::vector<std::unique_ptr<CBackgroundProcess>> m_calculators;
};

struct Expected {
    std::vector<std::string> options;
    std::string summary;   // the start of its summary line after the device
    std::string verdict;   // part of the calculator's own verdict
};

TEST_F(Classroom, TenCalculatorsAtOnceEachEndAsTheirOwnAndNoneDisturbsAnother)
{
    const std::vector<Expected> set = {
        {{}, "updated", "images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000"},
        {{"--route", "stub"}, "updated", "images received intact"},
        {{"--route", "stub", "--block-size", "256"}, "updated", "images received intact"},
        {{"--os-version", "02.00.0000"}, "current the version check: the calculator runs OS 02.00, already at or above the image's 01.05", "abandoned by the updater"},
        {{"--model", "12345678"}, "unsupported the calculator's identity: the calculator's model code 12345678",
         "abandoned by the updater"},
        {{"--fault", "hangup:300"}, "failed the OS image, block 34 of 69: the link to the calculator was lost",
         "OS image cut off mid-flash after 33 of 69 blocks"},
        {{"--fault", "silent:100"}, "failed the calculator's identity: the calculator did not answer for 2 s",
         "abandoned by the updater"},
        {{"--reject-tail", "1"}, "updated", "images received intact"},
        // Stalled at block 34 or, when block 35 was out before the line stopped, 35.
        {{"--fault", "stall:300"}, "failed the calculator stopped taking data for 2 s", "link lost"},
        {{"--fault", "duplicate:300", "--reject-tail", "3"},
         "failed the OS image, block 34 of 69: the calculator sent \"<06>00070\" that answers nothing",
         "abandoned by the updater"},
    };
    std::string devices;
    std::vector<std::string> paths;
    for (const Expected& e : set) {
        paths.push_back(StartCalculator(e.options));
        devices += paths.back() + ";";
    }
    // Connect, both warnings, then no other set. A hang guard, not a measure.
    const ProcessResult run = RunProcess(
        {"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all", (m_dir / "img").string()},
        {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=", "ZENTRIX_REPLY_TIMEOUT=2",
         "TMPDIR=" + (m_dir / "scratch").string()},
        "ok\nok\nok\ncancel\n");
    EXPECT_EQ(run.exitCode, 18) << run.err;

    // The summary: one line per calculator, in the order they were offered,
    // right before the question about another set.
    const std::string question = "== Complete ==\n10 calculators: 4 updated, 1 already current, 1 not supported, "
                                 "4 failed.\nDo you want to update another set?\n"
                                 "Again: Update the 4 that failed again\n[OK] Again Cancel\n";
    const size_t summaryEnd = run.out.find(question);
    ASSERT_NE(summaryEnd, std::string::npos) << run.out;
    EXPECT_EQ(summaryEnd + question.size(), run.out.size());
    size_t at = run.out.find("OK [Cancel]\n", run.out.find("== Delete all data")) + 12;
    for (size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        const size_t end = run.out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = run.out.substr(at, end - at);
        const std::string word = set[i].summary.substr(0, set[i].summary.find(' '));
        EXPECT_EQ(line.rfind(word + " " + paths[i], 0), 0u) << line;
        EXPECT_NE(line.find(set[i].summary.substr(word.size())), std::string::npos) << line;
        if (word == "updated") {
            EXPECT_EQ(line, "updated " + paths[i]);   // a success has no reason
        }
        at = end + 1;
        const std::string verdict = Verdict(i);
        EXPECT_NE(verdict.find(set[i].verdict), std::string::npos) << verdict;
        // Rows on standard error: each calculator's ending on a line of its own.
        EXPECT_NE(WithoutTimes(run.err).find("\n" + paths[i] + "  " + word), std::string::npos) << run.err;
    }
    EXPECT_EQ(at, summaryEnd);
    // Off a terminal every row and heading line says when it was written.
    std::istringstream rows(run.err);
    for (std::string line; std::getline(rows, line);) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d \S.*)"))) << line;
    }
    EXPECT_TRUE(fs::is_empty(m_dir / "scratch"));
}

// The terminals a person may use: from 60 columns up.
struct TerminalShape {
    int columns;
    int lines;
};
constexpr TerminalShape kTerminals[] = {{60, 20}, {80, 24}};

// Every progress row drawn in `sent` names one of `devices` whole and ends
// in whole numbers: its percent is what its counts give, which a count cut
// short ("10004/1") would not.
void ExpectWholeNumbersInRows(const std::string& sent, const std::vector<std::string>& devices)
{
    static const std::regex kProgress(R"((\S+)  .*[ ]([0-9]+)% ([0-9]+)/([0-9]+)( \(not answering.*\))?)");
    size_t rows = 0;
    for (size_t start = sent.find("\x1b[K"); start != std::string::npos; start = sent.find("\x1b[K", start)) {
        start += 3;
        const std::string row = sent.substr(start, sent.find_first_of("\r\n\x1b", start) - start);
        std::smatch parts;
        if (row.find('%') == std::string::npos) {
            continue;
        }
        ++rows;
        ASSERT_TRUE(std::regex_match(row, parts, kProgress)) << row;
        EXPECT_NE(std::find(devices.begin(), devices.end(), parts[1].str()), devices.end()) << row;
        const long long total = std::stoll(parts[4].str());
        const long long percent = total > 0 ? std::stoll(parts[3].str()) * 100 / total : 0;
        EXPECT_EQ(std::stoll(parts[2].str()), percent) << row;
    }
    EXPECT_GT(rows, 10u);
}

// Eight calculators on terminals of 60 and 80 columns, several of them
// ending with reasons longer than a line: every line drawn fits, so each
// drawing starts where the last one did and the heading stays one line at
// the top; a row short of room gives up its bar and its phase text before
// its calculator's name or its numbers.
TEST_F(Classroom, RowsFitTerminalsFromSixtyColumnsAndRedrawInPlace)
{
    const std::vector<std::vector<std::string>> set = {
        {},
        {"--route", "stub"},
        {"--reject-tail", "1"},
        {"--os-version", "02.00.0000"},
        {"--model", "12345678"},
        {"--fault", "hangup:300"},
        {"--fault", "silent:100"},
        {"--fault", "duplicate:300", "--reject-tail", "3"},
    };
    for (const TerminalShape terminal : kTerminals) {
        SCOPED_TRACE(std::to_string(terminal.columns) + " columns");
        std::string devices;
        std::vector<std::string> paths;
        for (const auto& options : set) {
            paths.push_back(StartCalculator(options));
            devices += paths.back() + ";";
        }
        const ProcessResult run = RunProcess(
            {"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all", "--usb-idd", (m_dir / "img").string()},
            {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=", "ZENTRIX_REPLY_TIMEOUT=2",
             "TMPDIR=" + (m_dir / "scratch").string()},
            "ok\nok\nok\ncancel\n", 0, terminal.columns, 0, terminal.lines);
        EXPECT_EQ(run.exitCode, 18) << run.err;
        // The summary, off a terminal, keeps the reasons whole, one of them
        // longer than a line.
        ASSERT_NE(run.out.find("8 calculators: 3 updated, 1 already current, 1 not supported, 3 failed."),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find(": the link to the calculator was lost (Broken pipe); check the cable, then start "
                               "the update again\n"),
                  std::string::npos)
            << run.out;

        const std::string heading = "Updating 8 calculators at once";
        const TerminalPass pass = FollowTerminal(run.err, static_cast<size_t>(terminal.columns),
                                                 static_cast<size_t>(terminal.lines), heading);
        EXPECT_LT(pass.longest, static_cast<size_t>(terminal.columns)) << run.err;
        EXPECT_EQ(pass.wrapped, 0u);
        // Drawn many times (the bars move), the heading once in each
        // drawing, and always over the last drawing.
        ASSERT_GT(pass.headingRows.size(), 10u) << run.err;
        EXPECT_EQ(pass.moves + 1, pass.headingRows.size());
        for (const long row : pass.headingRows) {
            EXPECT_EQ(row, pass.headingRows.front());
        }
        ExpectWholeNumbersInRows(run.err, paths);
        // The mistyped option's warning was broken between words, like the
        // rest; a finished row too long was cut after a word, ending in "…".
        EXPECT_NE(run.err.find("zentrix-update: unknown option --usb-idd"), std::string::npos) << run.err;
        const std::string lost = "  failed: the OS image, block 34 of 69: the link to the calculator was lost";
        // Another row fails at the same block for another reason, so the
        // cut row is the one whose words are the first words of this one.
        const std::string rowStart = lost.substr(0, 40);
        bool cutAtAWord = false;
        for (size_t row = run.err.find(rowStart); row != std::string::npos && !cutAtAWord;
             row = run.err.find(rowStart, row + 1)) {
            const std::string shown = run.err.substr(row, run.err.find_first_of("\r\n", row) - row);
            cutAtAWord = shown.size() > 3 && shown.substr(shown.size() - 3) == "\xE2\x80\xA6" &&
                         (lost + " ").find(shown.substr(0, shown.size() - 3) + " ") == 0;
        }
        EXPECT_TRUE(cutAtAWord) << run.err;
        EXPECT_EQ(run.err.find("the calculator was lost"), std::string::npos);
        EXPECT_TRUE(fs::is_empty(m_dir / "scratch"));
    }
}

// One calculator updated on terminals of 60 and 80 columns: the progress
// line is redrawn in place, so that the scrollback holds each phase's line
// once (twice at most), whole numbers at its end; the boxes break their
// lines between words and keep their texts.
TEST_F(Classroom, ASingleUpdateFitsTerminalsFromSixtyColumns)
{
    for (const TerminalShape terminal : kTerminals) {
        SCOPED_TRACE(std::to_string(terminal.columns) + " columns");
        const std::string device = StartCalculator({});
        const ProcessResult run = RunProcess(
            {"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, (m_dir / "img").string()},
            {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + device, "ZENTRIX_USB_IDS=", "LC_ALL=C",
             "TMPDIR=" + (m_dir / "scratch").string()},
            "ok\nok\nok\ncancel\n", 0, terminal.columns, terminal.columns, terminal.lines);
        EXPECT_EQ(run.exitCode, 18) << run.err;
        const auto columns = static_cast<size_t>(terminal.columns);
        const auto lines = static_cast<size_t>(terminal.lines);

        const TerminalPass progress = FollowTerminal(run.err, columns, lines);
        EXPECT_LT(progress.longest, columns) << run.err;
        EXPECT_EQ(progress.wrapped, 0u);
        const std::vector<std::string>& seen = progress.transcript;
        for (const char* phase : {"Checking the calculator version...", "Sending data...", "Updating..."}) {
            const size_t copies = LinesStartingWith(seen, phase);
            EXPECT_GE(copies, 1u) << phase << "\n" << run.err;
            EXPECT_LE(copies, 2u) << phase;
        }
        EXPECT_NE(std::find_if(seen.begin(), seen.end(),
                               [](const std::string& line) {
                                   return std::regex_match(line, std::regex(R"(Checking the calculator version\.\.\. )"
                                                                            R"(\[#+\] 100% 256/256)"));
                               }),
                  seen.end())
            << run.err;

        const TerminalPass boxes = FollowTerminal(run.out, columns, lines);
        EXPECT_LE(boxes.longest, columns) << run.out;
        EXPECT_EQ(boxes.wrapped, 0u);
        std::string words;
        for (const std::string& line : boxes.transcript) {
            words += line + " ";
        }
        EXPECT_NE(words.find("If you need the data, make sure you back it up before updating. Use the MEMORY mode "
                             "backup function to backup data."),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(boxes.transcript.front(), "== Connect the calculator. ==");
        const std::string verdict = Verdict(m_calculators.size() - 1);
        EXPECT_NE(verdict.find("images received intact"), std::string::npos) << verdict;
    }
}

// The station's rows on standard error, read as they come.
class CStation {
public:
    // Answered by the three prompts' OKs, then the end of input; or, with
    // `input` (a FIFO), by what the test types there (Type).
    // `env`: more variables; a station still running after `limitSeconds`
    // is killed (a hang guard, not a measure).
    // `mode`: --watch, or --all for a set.
    CStation(const std::string& devices, const fs::path& images, const fs::path& scratch, const fs::path& input = {},
             const std::string& env = {}, int limitSeconds = 0, const std::string& mode = "--watch")
        : m_process({"/bin/sh", "-c",
                     "exec " + (limitSeconds > 0 ? "/usr/bin/timeout -s KILL " + std::to_string(limitSeconds) : "") +
                         " env ZENTRIX_UI=console ZENTRIX_USB_IDS= 'ZENTRIX_DEVICES=" + devices + "' TMPDIR='" +
                         scratch.string() + "' XDG_STATE_HOME='" + images.parent_path().string() + "/state' " + env + " '" ZENTRIX_UPDATE_BIN "' " + mode + " '" + images.string() +
                         "' 2>&1 " +
                         (input.empty() ? std::string("<<'EOF'\nok\nok\nok\nEOF\n") : "<'" + input.string() + "'")})
    {
        if (!input.empty()) {
            m_input = ::open(input.c_str(), O_WRONLY | O_CLOEXEC);   // once the station opens it
            Type("ok\nok\nok\n");
        }
    }
    ~CStation()
    {
        if (m_input >= 0) {
            ::close(m_input);
        }
    }
    void Type(const std::string& text)
    {
        EXPECT_EQ(::write(m_input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Reads until a line that starts with `line`; false when the output
    // ended first or nothing came for a minute.
    bool WaitFor(const std::string& line)
    {
        return WaitUntil([&](const std::string& got) { return got.rfind(line, 0) == 0; });
    }
    // Reads until `done` is true of a line; false when the output ended first.
    template <typename Done>
    bool WaitUntil(Done done)
    {
        return m_process.ReadLinesUntil(m_seen, [&](const std::string& got) { return done(WithoutTimes(got)); });
    }
    void Signal(int signal) const { kill(m_process.Pid(), signal); }
    int Wait()
    {
        m_seen += m_process.ReadRest();
        return m_process.Wait();
    }
    const std::string& Seen() const { return m_seen; }

private:
    CBackgroundProcess m_process;
    std::string m_seen;
    int m_input = -1;
};

// A calculator plugged in under a listed name: the link to its pty, and the
// pty held open while the link is there. A pty whose calculator has ended
// would otherwise give its number to the next pty made (another test's),
// and a station, told of every new pty at once, would take that calculator.
// Pulling it removes the link first.
struct Plugged {
    Plugged(const std::string& pty, const fs::path& name)
        : held(open(pty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)), link(name)
    {
        fs::create_symlink(pty, link);
    }
    ~Plugged() { Pull(); }
    void Pull()
    {
        fs::remove(link);
        if (held >= 0) {
            close(held);
            held = -1;
        }
    }
    int held;
    fs::path link;
};

// A private system bus with python3-dbusmock's logind on it (`template`:
// the logind template, or a file of one; `env`: more variables for it).
class CMockLogind {
public:
    explicit CMockLogind(const std::string& template_ = "logind", const std::vector<std::string>& env = {})
        : m_bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}),
          m_address(m_bus.ReadLine(20000)),
          m_logind(Command(m_address, template_, env))
    {
        for (int i = 0; i < 200 && Inhibitors().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    const std::string& Address() const { return m_address; }
    // busctl's line for ListInhibitors: "a(ssssuu) N ..."; empty while logind is not there.
    std::string Inhibitors() const
    {
        const ProcessResult run = RunProcess({"/usr/bin/busctl", "--address=" + m_address, "call",
                                              "org.freedesktop.login1", "/org/freedesktop/login1",
                                              "org.freedesktop.login1.Manager", "ListInhibitors"},
                                             {}, "", 10000);
        return run.exitCode == 0 ? run.out : "";
    }
    // The inhibitors once they are `expected`, or as they are after 20 s.
    std::string WaitForInhibitors(const std::string& expected) const
    {
        std::string now = Inhibitors();
        for (int i = 0; i < 400 && now != expected; ++i, now = Inhibitors()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return now;
    }

private:
    static std::vector<std::string> Command(const std::string& address, const std::string& template_,
                                            const std::vector<std::string>& env)
    {
        std::vector<std::string> argv = {"/usr/bin/env", "DBUS_SYSTEM_BUS_ADDRESS=" + address};
        argv.insert(argv.end(), env.begin(), env.end());
        argv.insert(argv.end(), {"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", template_});
        return argv;
    }
    CBackgroundProcess m_bus;
    std::string m_address;
    CBackgroundProcess m_logind;
};

// Each line the slow logind wrote to `log` ("asked", "answered").
std::string InhibitLog(const fs::path& log)
{
    std::ifstream in(log);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// NOTIFY_SOCKET: the datagrams a service sends its manager.
class CNotifySocket {
public:
    explicit CNotifySocket(const fs::path& path) : m_path(path), m_fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ~CNotifySocket() { close(m_fd); }
    // Every datagram received so far, one a line.
    std::string Received() const
    {
        std::string all;
        char text[4096];
        for (ssize_t n; (n = recv(m_fd, text, sizeof text, MSG_DONTWAIT)) > 0;) {
            all.append(text, static_cast<size_t>(n)).push_back('\n');
        }
        return all;
    }
    // Fills the socket's queue from another socket until it takes no more:
    // a manager that reads nothing.
    void Fill() const
    {
        const int sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_path.c_str());
        int sent = 0;
        while (sendto(sender, "X=1", 3, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 3) {
            ++sent;
        }
        EXPECT_EQ(errno, EAGAIN);
        EXPECT_GT(sent, 0);
        close(sender);
    }
    const fs::path m_path;

private:
    int m_fd;
};

// A manager whose queue is full loses the station's notices, never a run:
// the calculator plugged in is served and SIGTERM still ends the station.
TEST_F(Classroom, AStationWhoseServiceManagerReadsNothingStillServesAndStops)
{
    CNotifySocket notify(m_dir / "notify");
    notify.Fill();
    const fs::path a = m_dir / "port-a";
    CStation station(a.string(), m_dir / "img", m_dir / "scratch", {},
                     "NOTIFY_SOCKET=" + notify.m_path.string(), 60);
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    Plugged plugged(StartCalculator({}), a);
    ASSERT_TRUE(station.WaitFor(a.string() + "  updated")) << station.Seen();
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_NE(Verdict(0).find("images received intact"), std::string::npos);
    // Only the filler is in the queue: nothing the station said waited for room.
    const std::string received = notify.Received();
    EXPECT_EQ(received.find("READY=1"), std::string::npos) << received;
}

// A station run by systemd: READY=1 once it watches, STATUS= with its counts
// after each change, STOPPING=1 at its end; and a logind inhibitor in mode
// "block" while a calculator is being written, let go when none is.
TEST_F(Classroom, AStationTellsItsServiceManagerItsCountsAndBlocksSleepOnlyWhileWriting)
{
    CMockLogind logind;
    ASSERT_EQ(logind.Inhibitors(), "a(ssssuu) 0\n") << "no mock logind on the private bus";
    CNotifySocket notify(m_dir / "notify");
    const fs::path a = m_dir / "port-a", b = m_dir / "port-b";
    CStation station(a.string() + ";" + b.string(), m_dir / "img", m_dir / "scratch", {},
                     "ZENTRIX_REPLY_TIMEOUT=3 NOTIFY_SOCKET=" + notify.m_path.string() +
                         " DBUS_SYSTEM_BUS_ADDRESS=" + logind.Address());
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    // Silent mid-image for the 3 s of the reply limit: written, not finished.
    Plugged first(StartCalculator({"--fault", "silent:300"}), a);
    // Sleep and shutdown each by itself: logind asks polkit about each by its
    // own action, which the package's rule allows the station's user.
    const std::string held = "a(ssssuu) 2 \"sleep\" \"Zentrix OS Update\" \"1 calculator is being updated\" "
                             "\"block\" 1000 123456 \"shutdown\" \"Zentrix OS Update\" \"1 calculator is being "
                             "updated\" \"block\" 1000 123456\n",
                      none = "a(ssssuu) 0\n";
    EXPECT_EQ(logind.WaitForInhibitors(held), held);
    ASSERT_TRUE(station.WaitFor(a.string() + "  failed")) << station.Seen();
    EXPECT_EQ(logind.WaitForInhibitors(none), none);
    Plugged second(StartCalculator({}), b);
    ASSERT_TRUE(station.WaitFor(b.string() + "  updated")) << station.Seen();
    EXPECT_EQ(logind.WaitForInhibitors(none), none);
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_EQ(notify.Received(),
              "READY=1\n"
              "STATUS=station: 0 updated, 0 failed, 0 updating\n"
              "STATUS=station: 0 updated, 0 failed, 1 updating\n"
              "STATUS=station: 0 updated, 1 failed, 0 updating\n"
              "STATUS=station: 0 updated, 1 failed, 1 updating\n"
              "STATUS=station: 1 updated, 1 failed, 0 updating\n"
              "STOPPING=1\n");
}

// The exit statuses a unit directive of the station's service lists.
std::set<int> UnitStatuses(const std::string& key)
{
    const std::string unit = FileText(ZENTRIX_SOURCE_DIR "/packaging/zentrix-update-station.service.in");
    std::set<int> codes;
    std::smatch line;
    const std::regex directive("\n" + key + "=([0-9 ]+)\n");
    if (std::regex_search(unit, line, directive)) {
        std::istringstream listed(line[1].str());
        for (int code; listed >> code;) {
            codes.insert(code);
        }
    }
    return codes;
}

// The station as its unit runs it, set up but for one step: what it lacks
// is said in its status and its log, naming the machine's file (the one a
// service reads), and never a key to press; a stop ends it with a status
// the unit counts as clean, a missing image folder with one the unit does
// not restart on.
TEST_F(Classroom, AStationRunAsAServiceSaysWhatItLacksAndEndsAsItsUnitExpects)
{
    const fs::path etc = m_dir / "etc";
    const std::string conf = (etc / "zentrix-update.conf").string();
    fs::create_directories(etc);
    CNotifySocket notify(m_dir / "notify");
    const std::vector<std::string> env = {"NOTIFY_SOCKET=" + notify.m_path.string(),
                                          "ZENTRIX_MACHINE_CONFIG_DIR=" + etc.string(),
                                          "HOME=" + (m_dir / "home").string(), "XDG_CONFIG_HOME=",
                                          "ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS="};
    std::string joined;
    for (const std::string& variable : env) {
        joined += " '" + variable + "'";
    }
    {
        CStation station("", m_dir / "img", m_dir / "scratch", {}, joined, 120, "--yes --watch");
        ASSERT_TRUE(station.WaitUntil([](const std::string& line) { return line.find("Station: ") != std::string::npos; }))
            << station.Seen();
        station.Signal(SIGTERM);
        const int code = station.Wait();
        EXPECT_EQ(UnitStatuses("SuccessExitStatus").count(code), 1u) << code;
        EXPECT_NE(station.Seen().find("the configuration file is " + conf), std::string::npos) << station.Seen();
        EXPECT_NE(station.Seen().find("systemctl stop ends the station"), std::string::npos) << station.Seen();
        EXPECT_EQ(station.Seen().find("Ctrl+C"), std::string::npos) << station.Seen();
        EXPECT_NE(notify.Received().find("STATUS=station: 0 updated, 0 failed, 0 updating; no calculator is "
                                         "configured: add a line usb-id = VVVV:PPPP to " + conf + " ("),
                  std::string::npos);
    }
    // No folder given, none named in the machine's file.
    std::vector<std::string> noFolder = env;
    noFolder.push_back("ZENTRIX_DEVICES=" + (m_dir / "port-a").string());
    const ProcessResult run = RunProcess({"/bin/sh", "-c", "cd / && exec '" ZENTRIX_UPDATE_BIN "' --yes --watch"},
                                         noFolder, "", 60000);
    EXPECT_EQ(UnitStatuses("RestartPreventExitStatus").count(run.exitCode), 1u) << run.exitCode << run.err;
    const std::string status = notify.Received();
    EXPECT_NE(status.find("STATUS=the images cannot be used: "), std::string::npos) << status;
    EXPECT_NE(status.find("image-folder = FOLDER in " + conf), std::string::npos) << status;
    EXPECT_NE(run.err.find("image-folder = FOLDER in " + conf), std::string::npos) << run.err;
}

// A logind slow to answer holds no run: a set of three asks for its
// inhibitor once, not once per run, and every calculator is updated while
// the request is under way.
TEST_F(Classroom, ASlowLogindIsAskedOncePerSetAndHoldsNoRun)
{
    const fs::path log = m_dir / "inhibit.log";
    CMockLogind logind(ZENTRIX_SOURCE_DIR "/tests/e2e/slow_logind.py",
                       {"ZENTRIX_TEST_INHIBIT_DELAY=4", "ZENTRIX_TEST_INHIBIT_LOG=" + log.string()});
    ASSERT_EQ(logind.Inhibitors(), "a(ssssuu) 0\n") << "no mock logind on the private bus";
    const std::string devices = StartCalculator({}) + ";" + StartCalculator({}) + ";" + StartCalculator({});
    CStation set(devices, m_dir / "img", m_dir / "scratch", {}, "DBUS_SYSTEM_BUS_ADDRESS=" + logind.Address(), 60,
                 "--all");
    EXPECT_EQ(set.Wait(), 18) << set.Seen();
    EXPECT_NE(set.Seen().find("3 calculators: 3 updated"), std::string::npos) << set.Seen();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(Verdict(i).find("images received intact"), std::string::npos) << i;
    }
    // Asked once for sleep, then, once that was answered, once for shutdown
    // (answered or not yet, as the set may end first); never once per run.
    const std::string asked = InhibitLog(log);
    EXPECT_TRUE(asked == "asked\n" || asked == "asked\nanswered\n" || asked == "asked\nanswered\nasked\n" ||
                asked == "asked\nanswered\nasked\nanswered\n")
        << asked;
}

// A stop does not wait for logind: a station whose inhibitor request is
// still under way (logind answers after 30 s, the request's limit is 5 s)
// ends at SIGTERM without waiting for it.
TEST_F(Classroom, AStationStopsWithoutWaitingForALogindThatDoesNotAnswer)
{
    const fs::path log = m_dir / "inhibit.log";
    CMockLogind logind(ZENTRIX_SOURCE_DIR "/tests/e2e/slow_logind.py",
                       {"ZENTRIX_TEST_INHIBIT_DELAY=30", "ZENTRIX_TEST_INHIBIT_LOG=" + log.string()});
    ASSERT_EQ(logind.Inhibitors(), "a(ssssuu) 0\n") << "no mock logind on the private bus";
    const fs::path a = m_dir / "port-a";
    CStation station(a.string(), m_dir / "img", m_dir / "scratch", {},
                     "DBUS_SYSTEM_BUS_ADDRESS=" + logind.Address() + " ZENTRIX_DEBUG=1", 60);
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    // Back at once after its update: the row ends well within the request's limit.
    Plugged plugged(StartCalculator({"--restart-time", "0"}), a);
    ASSERT_TRUE(station.WaitFor(a.string() + "  updated")) << station.Seen();
    EXPECT_EQ(InhibitLog(log), "asked\n");   // under way
    station.Signal(SIGTERM);
    // The request had seconds of its limit left: a stop that waited for it
    // would have seen it run out.
    ASSERT_TRUE(station.WaitFor("zentrix-update: debug: the program ends with its request to logind under way"))
        << station.Seen();
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_EQ(station.Seen().find("did not answer in time"), std::string::npos) << station.Seen();
    EXPECT_NE(Verdict(0).find("images received intact"), std::string::npos);
}

// A link that drops and comes back while the run goes on is the same
// calculator: the port is not tried again when the run has ended (here, at
// the reply limit), and the station counts one calculator.
TEST_F(Classroom, AStationWhoseLinkDropsDuringARunCountsOneCalculator)
{
    const fs::path a = m_dir / "port-a";
    CStation station(a.string(), m_dir / "img", m_dir / "scratch", {}, "ZENTRIX_REPLY_TIMEOUT=3");
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    const std::string pty = StartCalculator({"--fault", "silent:100", "--runs", "5"});   // it stays after a run
    Plugged plugged(pty, a);
    ASSERT_TRUE(station.WaitFor(a.string() + "  Checking the calculator version...")) << station.Seen();
    fs::remove(a);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    fs::create_symlink(pty, a);
    ASSERT_TRUE(station.WaitFor(a.string() + "  failed: the calculator's identity")) << station.Seen();
    // Long enough for a retry to start and end.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_NE(station.Seen().find("\n1 calculator: 0 updated, 0 already current, 0 not supported, 1 failed.\n"),
              std::string::npos)
        << station.Seen();
}

TEST_F(Classroom, StationUpdatesCalculatorsAsTheyComeAndGoWhileAnotherRuns)
{
    // Plugging in is a link to a calculator's pty appearing under a listed
    // name; unplugging is the link going.
    const fs::path a = m_dir / "port-a", b = m_dir / "port-b", c = m_dir / "port-c";
    CStation station(a.string() + ";" + b.string() + ";" + c.string(), m_dir / "img", m_dir / "scratch");
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();   // past the connect prompt

    // A calculator that goes silent mid-identity stays in progress throughout.
    Plugged silent(StartCalculator({"--fault", "silent:100"}), c);
    ASSERT_TRUE(station.WaitFor(c.string() + "  Checking the calculator version...")) << station.Seen();
    {
        Plugged first(StartCalculator({}), a);
        ASSERT_TRUE(station.WaitFor(a.string() + "  updated")) << station.Seen();
        EXPECT_NE(Verdict(1).find("images received intact"), std::string::npos);
    }
    ASSERT_TRUE(station.WaitFor(a.string() + "  unplugged")) << station.Seen();
    {
        // The pulled line reads as an end of file or, a moment earlier, as
        // an I/O error: either way the link was lost.
        Plugged cutOff(StartCalculator({"--fault", "hangup:300"}), b);
        ASSERT_TRUE(station.WaitFor(b.string() + "  failed: the OS image, block 34 of 69: the link to the "
                                                  "calculator was lost ("))
            << station.Seen();
    }
    ASSERT_TRUE(station.WaitFor(b.string() + "  unplugged")) << station.Seen();
    {
        // A new calculator on the port that was unplugged is updated in its turn.
        Plugged again(StartCalculator({}), a);
        ASSERT_TRUE(station.WaitFor(a.string() + "  updated")) << station.Seen();
    }
    ASSERT_TRUE(station.WaitFor(a.string() + "  unplugged")) << station.Seen();

    // Ctrl+C while the silent one is in progress asks first; at the end of
    // input the answer is Cancel and the station goes on.
    station.Signal(SIGINT);
    ASSERT_TRUE(station.WaitFor("Do you want to stop them?")) << station.Seen();
    // Nothing is being written yet (the silent one never got past its
    // identity): the question does not say its system is gone.
    EXPECT_NE(station.Seen().find("no calculator is being written yet, and each keeps its operating system"),
              std::string::npos) << station.Seen();
    // SIGTERM ends the run in progress through the abandon path.
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    // Stopped on request, or, when the calculator's silence had gone on long
    // enough (a slow build), while it had not answered.
    EXPECT_NE(station.Seen().find(c.string() + "  failed: the calculator's identity: stopped "), std::string::npos)
        << station.Seen();
    // The heading kept count, an unplugged calculator included.
    EXPECT_NE(station.Seen().find("; Ctrl+C ends the station (1 updated, 0 current, 0 failed so far)\n"), std::string::npos);
    EXPECT_NE(station.Seen().find("ends the station (2 updated, 0 current, 1 failed so far)\n"), std::string::npos);
    // At its end the station says what it did, as a set does: every
    // calculator it saw, in order, then the counts.
    const std::string& seen = station.Seen();
    const size_t first = seen.find("\nupdated " + a.string() + "\nfailed " + b.string() + " the OS image, block 34");
    ASSERT_NE(first, std::string::npos) << seen;
    const size_t again = seen.find("\nupdated " + a.string() + "\nfailed " + c.string() + " the calculator's identity: stopped ", first);
    EXPECT_NE(again, std::string::npos) << seen;
    EXPECT_NE(seen.find("\n4 calculators: 2 updated, 0 already current, 0 not supported, 2 failed.\n", again), std::string::npos)
        << seen;
    // One record for each of the four runs, each of the station's.
    std::ifstream history(m_dir / "state" / "zentrix-update" / "history.jsonl");
    std::vector<std::string> records;
    for (std::string line; std::getline(history, line);) {
        records.push_back(line);
    }
    ASSERT_EQ(records.size(), 4u);
    const auto count = [&](const std::string& part) {
        return std::count_if(records.begin(), records.end(),
                             [&](const std::string& r) { return r.find(part) != std::string::npos; });
    };
    EXPECT_EQ(count(R"("mode": "watch")"), 4);
    EXPECT_EQ(count(R"("device": ")" + a.string() + R"(", )"), 2);
    EXPECT_EQ(count(R"("result": "updated", "reason": null)"), 2);
    EXPECT_EQ(count(R"("device": ")" + c.string() + R"(", )"), 1);
    EXPECT_NE(Verdict(0).find("abandoned by the updater"), std::string::npos);
    EXPECT_NE(Verdict(2).find("OS image cut off mid-flash after 33 of 69 blocks"), std::string::npos);
    EXPECT_NE(Verdict(3).find("images received intact"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(m_dir / "scratch"));
}

constexpr const char* kImagesChangedNote =
    "The images in the folder have changed: this station goes on with the images it started with; the new images "
    "are used after a restart";
constexpr const char* kOfferNextNote =
    "Press Enter to update the next calculator on a port whose row has ended";
const std::string kIntactOld =
    "images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000";

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// Demo images of another version, and bigger, in `dir`.
void WriteNewerImages(const fs::path& dir)
{
    fs::create_directories(dir);
    const ProcessResult demo = RunProcess(
        {ZENTRIX_SIM_BIN, "--write-demo-images", dir.string(), "--image-version", "01.06.0000", "--os-size", "90000"},
        {}, "");
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
}

// A station copies the images once, at its start: a new OS image copied over
// the old one, slowly, while calculators come reaches none of them, neither
// half-written nor whole, and the station says once that the new image is
// used after a restart.
// Another program holding a lock on the history costs the station's row a
// few seconds: the row still ends, and the lost record is said.
TEST_F(Classroom, AStationWhoseHistoryIsLockedElsewhereStillEndsEachRow)
{
    const fs::path history = m_dir / "state" / "zentrix-update" / "history.jsonl";
    fs::create_directories(history.parent_path());
    std::ofstream(history) << "";
    const int holder = open(history.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
    const fs::path a = m_dir / "port-a";
    CStation station(a.string(), m_dir / "img", m_dir / "scratch", {}, {}, 120);
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    {
        Plugged first(StartCalculator({}), a);
        ASSERT_TRUE(station.WaitFor(a.string() + "  updated")) << station.Seen();
    }
    EXPECT_NE(station.Seen().find(a.string() + ": this run is not kept in the history: " + history.string() +
                                  " is locked by another program"),
              std::string::npos)
        << station.Seen();
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    close(holder);
}

TEST_F(Classroom, TheStationKeepsItsImagesWhileTheFolderIsRewrittenAndSaysSoOnce)
{
    const fs::path old = m_dir / "old-os.bin";
    fs::copy_file(Image("UpdateCode.bin"), old);
    WriteNewerImages(m_dir / "newer");
    const fs::path a = m_dir / "port-a", b = m_dir / "port-b", c = m_dir / "port-c";
    CStation station(a.string() + ";" + b.string() + ";" + c.string(), m_dir / "img", m_dir / "scratch", {}, {}, 120);
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    {
        Plugged first(StartCalculator({}, old.string()), a);
        ASSERT_TRUE(station.WaitFor(a.string() + "  updated")) << station.Seen();
    }
    ASSERT_TRUE(station.WaitFor(a.string() + "  unplugged")) << station.Seen();
    {
        CSlowRewrite rewrite(Image("UpdateCode.bin"), FileBytes(m_dir / "newer" / "UpdateCode.bin"), 10, 200);
        rewrite.WaitStarted();
        Plugged second(StartCalculator({}, old.string()), b);
        ASSERT_TRUE(station.WaitFor(b.string() + "  updated")) << station.Seen();
        second.Pull();
        ASSERT_TRUE(station.WaitFor(b.string() + "  unplugged")) << station.Seen();
    }
    Plugged third(StartCalculator({}, old.string()), c);
    ASSERT_TRUE(station.WaitFor(c.string() + "  updated")) << station.Seen();
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_EQ(Count(station.Seen(), kImagesChangedNote), 1u) << station.Seen();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(Verdict(i).find(kIntactOld), std::string::npos) << i;
    }
    EXPECT_TRUE(fs::is_empty(m_dir / "scratch"));
}

// Ports that are no calculator (ptys nobody serves) end their runs at the
// reply timeout and hold no place: with more of them than runs at once, a
// calculator plugged in later is still updated. On a port that never goes
// away (a serial port: here a link that is turned to another calculator
// without ever disappearing) Enter updates the next calculator.
TEST_F(Classroom, PortsThatAreNoCalculatorsHoldNoPlaceAndEnterUpdatesTheNextCalculatorOnAFixedPort)
{
    constexpr size_t kSilentPorts = 260;
    std::vector<int> masters;
    std::string devices;
    for (size_t i = 0; i < kSilentPorts; ++i) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            break;
        }
        masters.push_back(master);
        devices += std::string(ptsname(master)) + ";";
    }
    if (masters.size() < kSilentPorts) {
        for (const int master : masters) {
            close(master);
        }
        GTEST_SKIP() << "only " << masters.size() << " ptys can be opened here, " << kSilentPorts << " are needed";
    }
    const fs::path late = m_dir / "port-late", fixed = m_dir / "port-fixed", input = m_dir / "input";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    CStation station(devices + late.string() + ";" + fixed.string(), m_dir / "img", m_dir / "scratch", input,
                     "ZENTRIX_REPLY_TIMEOUT=1", 180);
    size_t failed = 0;
    ASSERT_TRUE(station.WaitUntil([&](const std::string& line) {
        failed += line.rfind("/dev/pts/", 0) == 0 && line.find("  failed: ") != std::string::npos;
        return failed == kSilentPorts;
    })) << station.Seen();

    {
        Plugged plugged(StartCalculator({}), late);
        ASSERT_TRUE(station.WaitFor(late.string() + "  updated")) << station.Seen();
    }
    ASSERT_TRUE(station.WaitFor(late.string() + "  unplugged")) << station.Seen();

    // The first calculator on the fixed port stays there after its run.
    fs::create_symlink(StartCalculator({"--runs", "2"}), fixed);
    ASSERT_TRUE(station.WaitFor(fixed.string() + "  updated")) << station.Seen();
    EXPECT_NE(station.Seen().find(kOfferNextNote), std::string::npos) << station.Seen();
    const fs::path turned = m_dir / "port-turned";
    fs::create_symlink(StartCalculator({}), turned);
    fs::rename(turned, fixed);   // the path never disappears
    station.Type("\n");
    ASSERT_TRUE(station.WaitFor(fixed.string() + "  updated")) << station.Seen();

    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_NE(Verdict(0).find("run 1: images received intact"), std::string::npos);
    kill(m_calculators[1]->Pid(), SIGTERM);   // it would wait for its second run
    EXPECT_NE(Verdict(1).find("run 1: images received intact"), std::string::npos);
    EXPECT_NE(Verdict(2).find("run 1: images received intact"), std::string::npos);
    for (const int master : masters) {
        close(master);
    }
    EXPECT_TRUE(fs::is_empty(m_dir / "scratch"));
}

// A port whose calculator is pulled soon after its row ends (while the
// station may still be closing the run) and whose next calculator is plugged
// in a little later, eight times over: each calculator starts by itself and
// the station never offers Enter, which is for ports that never vanished.
TEST_F(Classroom, ACalculatorSwappedQuicklyOnTheSamePortStartsByItself)
{
    constexpr size_t kSwaps = 8;
    const fs::path port = m_dir / "port-swap";
    CStation station(port.string(), m_dir / "img", m_dir / "scratch", {}, {}, 240);
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    for (size_t i = 0; i < kSwaps; ++i) {
        Plugged plugged(StartCalculator({}), port);
        bool offered = false;
        ASSERT_TRUE(station.WaitUntil([&](const std::string& line) {
            offered = line.find(kOfferNextNote) != std::string::npos;
            return offered || line.rfind(port.string() + "  updated", 0) == 0;
        })) << station.Seen();
        ASSERT_FALSE(offered) << "swap " << i << ":\n" << station.Seen();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        plugged.Pull();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_EQ(Count(station.Seen(), kOfferNextNote), 0u) << station.Seen();
    EXPECT_NE(station.Seen().find(std::to_string(kSwaps) + " calculators: " + std::to_string(kSwaps) + " updated, "),
              std::string::npos)
        << station.Seen();
    for (size_t i = 0; i < kSwaps; ++i) {
        EXPECT_NE(Verdict(i).find("images received intact"), std::string::npos) << i;
    }
}

// A set whose calculators share one trace file: every line is whole and
// names its device, and a device offered under two names is one calculator.
TEST_F(Classroom, ASetSharingOneTraceWritesWholeLinesThatNameTheirDevices)
{
    std::vector<std::string> paths;
    std::string devices;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(StartCalculator({"--block-size", i % 2 == 0 ? "1024" : "256"}));
        devices += paths.back() + ";";
    }
    const fs::path alias = m_dir / "alias-of-first";
    fs::create_symlink(paths[0], alias);
    devices += alias.string();
    const fs::path trace = m_dir / "trace.txt";
    const ProcessResult run = RunProcess(
        {"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all", (m_dir / "img").string()},
        {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=", "ZENTRIX_TRACE=" + trace.string(),
         "TMPDIR=" + (m_dir / "scratch").string(), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (m_dir / "no-bus").string()},
        "ok\nok\nok\ncancel\n");
    EXPECT_EQ(run.exitCode, 18) << run.err;
    EXPECT_NE(run.out.find("4 calculators: 4 updated, 0 already current, 0 not supported, 0 failed."),
              std::string::npos)
        << run.out;
    for (size_t i = 0; i < paths.size(); ++i) {
        kill(m_calculators[i]->Pid(), SIGTERM);   // one never reached would wait for ever
        EXPECT_NE(Verdict(i).find("run 1: images received intact"), std::string::npos) << paths[i];
    }

    // TIME DEVICE > HEX  ASCII, or TIME DEVICE and a header, a note or an
    // ending; hex and ASCII agree.
    const std::regex bytes(R"(\+\d+\.\d{6} (\S+) [<>]((?: [0-9A-F]{2})+)  (.*))");
    const std::regex words(R"(\+\d+\.\d{6} (\S+) [@#=] .*)");
    std::istringstream lines(FileBytes(trace));
    std::map<std::string, size_t> perDevice;
    size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        std::smatch match;
        if (std::regex_match(line, match, bytes)) {
            EXPECT_EQ(match[2].length(), 3 * match[3].length()) << line;
        } else if (!std::regex_match(line, match, words)) {
            ADD_FAILURE() << "torn or foreign line: " << line;
            continue;
        }
        ++perDevice[match[1]];
    }
    EXPECT_GT(count, 4u * 70);
    EXPECT_EQ(perDevice.size(), 4u);
    // No system bus: the set goes on, and says why once in the trace.
    const std::string text = FileBytes(trace);
    const size_t note = text.find(" # no sleep inhibitor: the system bus cannot be reached");
    EXPECT_NE(note, std::string::npos);
    EXPECT_EQ(text.find(" # no sleep inhibitor", note + 1), std::string::npos);
    for (const std::string& path : paths) {
        EXPECT_GT(perDevice[path], 70u) << path;
    }
}

// A set of four with a large OS image on a TMPDIR that holds one copy of the
// images: the set copies them once, so every calculator is updated.
TEST_F(Classroom, ASetCopiesItsImagesOnceSoOneCopysRoomIsEnough)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "a TMPDIR of limited size needs a tmpfs mounted, which needs root";
    }
    constexpr size_t kOsSize = 4 * 1024 * 1024;
    const fs::path small = m_dir / "small-tmp";
    fs::create_directories(small);
    // Room for the stub and one OS image, not for two.
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, ("size=" + std::to_string(kOsSize * 3 / 2)).c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
    }
    const ProcessResult demo = RunProcess(
        {ZENTRIX_SIM_BIN, "--write-demo-images", (m_dir / "img").string(), "--os-size", std::to_string(kOsSize)}, {},
        "");
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    fs::last_write_time(Image("UpdateCode.bin"), fs::file_time_type::clock::now() - std::chrono::minutes(1));
    std::string devices;
    for (int i = 0; i < 4; ++i) {
        devices += StartCalculator({}) + ";";
    }
    const ProcessResult run = RunProcess(
        {"/usr/bin/timeout", "-s", "KILL", "300", ZENTRIX_UPDATE_BIN, "--all", (m_dir / "img").string()},
        {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=", "TMPDIR=" + small.string()},
        "ok\nok\nok\ncancel\n");
    EXPECT_TRUE(fs::is_empty(small));
    umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(run.exitCode, 18) << run.err;
    EXPECT_NE(run.out.find("4 calculators: 4 updated,"), std::string::npos) << run.out << run.err;
    for (size_t i = 0; i < 4; ++i) {
        kill(m_calculators[i]->Pid(), SIGTERM);   // one never reached would wait for ever
        EXPECT_NE(Verdict(i).find("run 1: images received intact"), std::string::npos) << i;
    }
}

// A set whose second calculator stops answering: once it has been silent
// for the stall time its row says how to stop it; its number typed ends
// that run alone within a second, the calculator told, and the set ends as
// any other, every row's result in the summary and in the history.
TEST_F(Classroom, ASilentRowsNumberTypedStopsItAloneAndTheSetEndsWithEveryResult)
{
    const std::string quick = StartCalculator({});
    const std::string mute = StartCalculator({"--fault", "silent:100"});
    const fs::path input = m_dir / "input";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    CStation set(quick + ";" + mute, m_dir / "img", m_dir / "scratch", input, {}, 120, "--all");
    ASSERT_TRUE(set.WaitUntil([&](const std::string& line) {
        return line.rfind(mute + "  ", 0) == 0 &&
               line.find(" (not answering; type 2 and Enter to stop it)") != std::string::npos;
    })) << set.Seen();
    set.Type("2\n");
    // Ended by the Stop, not by the silence limit that would end it later.
    ASSERT_TRUE(set.WaitFor(mute + "  failed: ")) << set.Seen();
    const std::string failed = set.Seen().substr(set.Seen().find(mute + "  failed: "));
    EXPECT_NE(failed.substr(0, failed.find('\n')).find(": stopped while the calculator had not answered"), std::string::npos)
        << failed;
    ASSERT_TRUE(set.WaitFor("Do you want to update another set?")) << set.Seen();
    set.Type("cancel\n");
    EXPECT_EQ(set.Wait(), 18) << set.Seen();
    EXPECT_NE(set.Seen().find("\nupdated " + quick + "\n"), std::string::npos) << set.Seen();
    const std::string stopped = " the calculator's identity: stopped while the calculator had not answered for ";
    EXPECT_NE(set.Seen().find("\nfailed " + mute + stopped), std::string::npos) << set.Seen();
    EXPECT_NE(Verdict(0).find("images received intact"), std::string::npos);
    EXPECT_NE(Verdict(1).find("abandoned by the updater"), std::string::npos);
    EXPECT_EQ(HistoryLines(), 2);
}

}  // namespace

// The metrics file of a station: after one calculator updated and one
// failed, exactly those counts, nothing updating, the image that was sent;
// after SIGTERM the station is down. Rewritten whole each time: no file is
// left beside it, and Prometheus' own checker reads it.
// Every record that is not an update says why in one word, the same in
// every language, and the history shows the records of one cause.
TEST_F(Classroom, EveryRunThatDidNotUpdateCarriesAReasonCodeTheHistoryFiltersBy)
{
    const struct {
        std::vector<std::string> options;
        const char* code;   // null: updated
    } set[] = {
        {{}, nullptr},
        {{"--fault", "hangup:300"}, "link-lost"},
        {{"--fault", "silent:100"}, "not-answering"},
        {{"--fault", "stall:300"}, "stalled"},
        {{"--model", "12345678"}, "wrong-model"},
        {{"--os-version", "02.00.0000"}, "already-current"},
        {{"--reject-tail", "3"}, "image-rejected"},
        {{"--fault", "duplicate:300", "--reject-tail", "3"}, "out-of-step"},
    };
    std::string devices;
    std::map<std::string, const char*> codeOf;
    for (const auto& c : set) {
        const std::string path = StartCalculator(c.options);
        devices += path + ";";
        codeOf[path] = c.code;
    }
    const std::vector<std::string> env = {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=",
                                          "ZENTRIX_REPLY_TIMEOUT=2", "TMPDIR=" + (m_dir / "scratch").string(),
                                          "XDG_STATE_HOME=" + (m_dir / "state").string(), "LANGUAGE=de",
                                          "LANG=de_DE.UTF-8"};
    const ProcessResult run = RunProcess({"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all", "--yes",
                                          (m_dir / "img").string()},
                                         env, "");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string history = FileText(m_dir / "state" / "zentrix-update" / "history.jsonl");
    std::istringstream lines(history);
    size_t records = 0;
    for (std::string line; std::getline(lines, line); ++records) {
        const std::smatch device = [&] {
            std::smatch m;
            std::regex_search(line, m, std::regex(R"re("device": "([^"]*)")re"));
            return m;
        }();
        ASSERT_FALSE(device.empty()) << line;
        const char* code = codeOf[device[1]];
        const std::string expected = code == nullptr ? "\"reason_code\": null," : "\"reason_code\": \"" + std::string(code) + "\",";
        EXPECT_NE(line.find(expected), std::string::npos) << line;   // in German as in English
    }
    EXPECT_EQ(records, std::size(set));
    // One cause at a time, and a word the program does not know is refused.
    const auto byReason = [&](const std::string& code) {
        return RunProcess({ZENTRIX_UPDATE_BIN, "--history", "--csv", "--reason", code}, env, "", 30000);
    };
    const ProcessResult lost = byReason("link-lost");
    EXPECT_EQ(lost.exitCode, 0) << lost.err;
    EXPECT_EQ(std::count(lost.out.begin(), lost.out.end(), '\n'), 2) << lost.out;   // the header and one record
    EXPECT_NE(lost.out.find(",link-lost,"), std::string::npos) << lost.out;
    const ProcessResult unknown = byReason("cable");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("link-lost"), std::string::npos) << unknown.err;
}

// The school's commands: one after each record, with the record's line on
// standard input and its fields in the environment, one at the set's end
// with its counts; nothing a calculator or a name says is ever run; a hook
// that fails or outlives its time is one warning and changes nothing.
TEST_F(Classroom, HooksGetEachRecordAndTheSetsCountsAndNeverChangeAResult)
{
    const fs::path hooks = m_dir / "hooks";
    fs::create_directories(hooks);
    const fs::path config = m_dir / "config" / "zentrix-update" / "zentrix-update.conf";
    fs::create_directories(config.parent_path());
    std::string good;
    std::string cut;
    const std::string trap = "$(touch PWNED)`touch PWNED`;touch PWNED";   // a name's 40 characters
    const auto run = [&](const std::string& hookLines) {
        good = StartCalculator({});
        cut = StartCalculator({"--fault", "hangup:300"});
        std::ofstream(config) << "label = " << good << " = " << trap << "\n" << hookLines;
        return RunProcess({"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all", "--yes",
                           (m_dir / "img").string()},
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + good + ";" + cut, "ZENTRIX_USB_IDS=",
                           "TMPDIR=" + (m_dir / "scratch").string(), "XDG_CONFIG_HOME=" + (m_dir / "config").string(),
                           "XDG_STATE_HOME=" + (m_dir / "state").string(), "HOOK_OUT=" + hooks.string()},
                          "");
    };
    const ProcessResult first = run(
        "on-run-end = cat >> \"$HOOK_OUT/stdin\"; printf '%s|%s|%s|%s|%s\\n' \"$ZENTRIX_EVENT\" \"$ZENTRIX_RESULT\" "
        "\"$ZENTRIX_REASON_CODE\" \"$ZENTRIX_DEVICE\" \"$ZENTRIX_LABEL\" >> \"$HOOK_OUT/env\"\n"
        "on-set-end = cat > \"$HOOK_OUT/set\"; echo \"$ZENTRIX_EVENT $ZENTRIX_UPDATED $ZENTRIX_FAILED\" > \"$HOOK_OUT/set-env\"\n");
    EXPECT_EQ(first.exitCode, 1) << first.err;   // one failed, as without hooks
    EXPECT_EQ(first.err.find("did not succeed"), std::string::npos) << first.err;
    const auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    // Byte for byte the records the history got, one hook each.
    const std::string history = FileText(m_dir / "state" / "zentrix-update" / "history.jsonl");
    EXPECT_EQ(sortedLines(FileText(hooks / "stdin")), sortedLines(history));
    EXPECT_EQ(sortedLines(history).size(), 2u) << history;
    EXPECT_EQ(sortedLines(FileText(hooks / "env")),
              sortedLines("run-ended|failed|link-lost|" + cut + "|\nrun-ended|updated||" + good + "|" + trap + "\n"));
    EXPECT_FALSE(fs::exists("PWNED") || fs::exists(m_dir / "PWNED")) << "a name was run as a command";
    EXPECT_EQ(FileText(hooks / "set"),
              "{\"event\": \"set-ended\", \"calculators\": 2, \"updated\": 1, \"current\": 0, \"unsupported\": 0, "
              "\"failed\": 1, \"checked\": 0, \"not-connected\": 0}\n");
    EXPECT_EQ(FileText(hooks / "set-env"), "set-ended 1 1\n");

    // A hook that fails, and one that would run for a minute, ended at its limit.
    const ProcessResult second = run("on-run-end = exit 3\non-set-end = sleep 60\nhook-timeout = 1\n");
    EXPECT_EQ(second.exitCode, 1) << second.err;
    EXPECT_FALSE(second.killed);
    EXPECT_NE(second.err.find("the on-run-end command did not succeed: exit status 3; the result stays as it is"),
              std::string::npos) << second.err;
    EXPECT_NE(second.err.find("the on-set-end command did not succeed: it was still running after 1 s and was "
                              "ended; the result stays as it is"),
              std::string::npos) << second.err;
}

// A teacher who walked away hears of the set's end: one notification on
// the session's bus with the counts and the calculators not updated, from
// the console only when asked (notify = on); none when told off, and none,
// without delay, where there is no session bus.
TEST_F(Classroom, TheEndOfASetIsOneNotificationOnTheSessionBus)
{
    CBackgroundProcess bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
    const std::string address = bus.ReadLine(20000);
    ASSERT_FALSE(address.empty());
    CBackgroundProcess daemon({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=" + address, "/usr/bin/python3", "-m",
                               "dbusmock", "--template", "notification_daemon"});
    const auto calls = [&address] {
        const ProcessResult got = RunProcess({"/usr/bin/busctl", "--address=" + address, "call",
                                              "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                              "org.freedesktop.DBus.Mock", "GetCalls"},
                                             {}, "", 10000);
        return got.exitCode == 0 ? got.out : std::string();
    };
    for (int i = 0; i < 200 && calls().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const fs::path config = m_dir / "config" / "zentrix-update" / "zentrix-update.conf";
    fs::create_directories(config.parent_path());
    const auto set = [&](const std::string& notify, const std::string& busAddress) {
        std::ofstream(config) << notify;
        const std::string good = StartCalculator({});
        const std::string cut = StartCalculator({"--fault", "hangup:300"});
        const ProcessResult run = RunProcess(
            {"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all", "--yes", (m_dir / "img").string()},
            {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + good + ";" + cut, "ZENTRIX_USB_IDS=",
             "TMPDIR=" + (m_dir / "scratch").string(), "XDG_CONFIG_HOME=" + (m_dir / "config").string(),
             "DBUS_SESSION_BUS_ADDRESS=" + busAddress},
            "");
        EXPECT_EQ(run.exitCode, 1) << run.err;   // one failed, notified or not
        return cut;
    };
    // The calls once one is Notify (the program does not wait for the
    // server), or as they are after 5 s.
    const auto notified = [&] {
        std::string now = calls();
        for (int i = 0; i < 100 && now.find("\"Notify\"") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            now = calls();
        }
        return now;
    };
    set("", address);   // a console is watched: nothing unless asked
    set("notify = off\n", address);
    EXPECT_EQ(calls().find("Notify"), std::string::npos) << calls();
    const std::string cut = set("notify = on\n", address);
    const std::string seen = notified();
    EXPECT_NE(seen.find("\"The set is done\""), std::string::npos) << seen;
    EXPECT_NE(seen.find("2 calculators: 1 updated, 0 already current, 0 not supported, 1 failed."),
              std::string::npos) << seen;
    EXPECT_NE(seen.find("Not updated: " + cut), std::string::npos) << seen;
    // One per set.
    size_t notifies = 0;
    for (size_t at = seen.find("\"Notify\""); at != std::string::npos; at = seen.find("\"Notify\"", at + 1)) {
        ++notifies;
    }
    EXPECT_EQ(notifies, 1u) << seen;
    // No bus where the session's should be: the set ends as ever.
    set("notify = on\n", "unix:path=" + (m_dir / "no-bus").string());
}

// Someone on another terminal (an administrator on SSH) sees the station's
// rows while it runs: each calculator's phase, how far it is, how long it
// has been silent; once the station has ended, that no station runs.
TEST_F(Classroom, AnotherTerminalSeesTheStationsRowsUntilItEnds)
{
    const fs::path a = m_dir / "port-a", b = m_dir / "port-b";
    const fs::path runtime = m_dir / "runtime";
    fs::create_directories(runtime);
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.string(), "RUNTIME_DIRECTORY="};
    const auto status = [&env](const std::string& language = "C") {
        std::vector<std::string> withLanguage = env;
        withLanguage.push_back("LANGUAGE=" + language);
        withLanguage.push_back("LANG=" + std::string(language == "C" ? "C.UTF-8" : "de_DE.UTF-8"));
        return RunProcess({ZENTRIX_UPDATE_BIN, "--station-status"}, withLanguage, "", 30000);
    };
    const ProcessResult before = status();
    EXPECT_EQ(before.exitCode, 3) << before.out;
    EXPECT_NE(before.err.find("no station is running on this computer"), std::string::npos) << before.err;
    CStation station(a.string() + ";" + b.string(), m_dir / "img", m_dir / "scratch", {},
                     "XDG_RUNTIME_DIR='" + runtime.string() + "' RUNTIME_DIRECTORY=", 120);
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    Plugged quick(StartCalculator({}), b);
    ASSERT_TRUE(station.WaitFor(b.string() + "  updated")) << station.Seen();
    Plugged mute(StartCalculator({"--fault", "silent:40"}), a);
    // Looked at until the silent row says for how long (the file is written
    // about once a second); a hang guard, not a measure.
    ProcessResult seen;
    const std::regex silentRow(a.string() + R"( +[^\n]*\.\.\. +\d+ % +\d+ s\n)");
    for (int look = 0; look < 120 && !std::regex_search(seen.out, silentRow); ++look) {
        usleep(500 * 1000);
        seen = status();
    }
    EXPECT_EQ(seen.exitCode, 0) << seen.err;
    EXPECT_TRUE(std::regex_search(seen.out, silentRow)) << seen.out;
    // Under the counts, not the window's own words.
    EXPECT_NE(seen.out.find(": 1 calculator: 1 updated, 0 already current, 0 not supported, 0 failed.\n1 of 2 done; 1 not answering\n"),
              std::string::npos) << seen.out;
    EXPECT_EQ(seen.out.find("Ctrl+C"), std::string::npos) << seen.out;
    EXPECT_EQ(seen.out.rfind("Station (process ", 0), 0u) << seen.out;
    EXPECT_NE(seen.out.find("calculator"), std::string::npos) << seen.out;
    // In the reader's language.
    const ProcessResult german = status("de");
    EXPECT_NE(german.out.find("aktualisiert"), std::string::npos) << german.out << german.err;
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    const ProcessResult after = status();
    EXPECT_EQ(after.exitCode, 3) << after.out;
    EXPECT_TRUE(fs::is_empty(runtime)) << "the status file outlived its station";
}

TEST_F(Classroom, AStationKeepsItsCountsInAMetricsFileUntilItEnds)
{
    const fs::path a = m_dir / "port-a", b = m_dir / "port-b";
    const fs::path metrics = m_dir / "metrics" / "zentrix.prom";
    fs::create_directories(metrics.parent_path());
    CStation station(a.string() + ";" + b.string(), m_dir / "img", m_dir / "scratch", {}, {}, 120,
                     "--watch --metrics-file '" + metrics.string() + "'");
    ASSERT_TRUE(station.WaitFor("[OK]")) << station.Seen();
    EXPECT_NE(FileText(metrics).find("zentrix_update_station_up 1\n"), std::string::npos) << FileText(metrics);
    Plugged first(StartCalculator({"--fault", "corrupt:1"}), a);
    ASSERT_TRUE(station.WaitFor(a.string() + "  failed")) << station.Seen();
    Plugged second(StartCalculator({}), b);
    ASSERT_TRUE(station.WaitFor(b.string() + "  updated")) << station.Seen();
    const std::string running = FileText(metrics);
    for (const char* line : {"zentrix_update_runs_total{result=\"updated\"} 1\n",
                                    "zentrix_update_runs_total{result=\"failed\"} 1\n",
                                    "zentrix_update_runs_total{result=\"current\"} 0\n",
                                    "zentrix_update_calculators_updating 0\n",
                                    "zentrix_update_image_info{version=\"01.05.0000\",sha256=\"",
                                    "# TYPE zentrix_update_runs_total counter\n",
                                    "zentrix_update_station_up 1\n"}) {
        EXPECT_NE(running.find(line), std::string::npos) << line << "\n" << running;
    }
    EXPECT_TRUE(std::regex_search(running, std::regex(R"(last_run_end_timestamp_seconds\{result="failed"\} \d{10}\n)")))
        << running;
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    const std::string ended = FileText(metrics);
    EXPECT_NE(ended.find("zentrix_update_station_up 0\n"), std::string::npos) << ended;
    EXPECT_NE(ended.find("zentrix_update_runs_total{result=\"updated\"} 1\n"), std::string::npos) << ended;
    EXPECT_EQ(std::distance(fs::directory_iterator(metrics.parent_path()), fs::directory_iterator()), 1);
    if (fs::exists("/usr/bin/promtool")) {
        const ProcessResult checked = RunProcess({"/bin/sh", "-c", "/usr/bin/promtool check metrics < '" + metrics.string() + "'"}, {}, "", 30000);
        EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
    }
}
