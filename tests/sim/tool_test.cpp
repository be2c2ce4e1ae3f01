// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-calc-sim as a separate process, and the demo image files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "pty_link.h"
#include "sim/tool_options.h"
#include "sim/verdict.h"

namespace {

using namespace pcside;
namespace fs = std::filesystem;

struct TempDir {
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "simtestXXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    std::string path;
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The tool, started with a pipe on its standard output.
struct Tool {
    explicit Tool(std::vector<std::string> args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(ZENTRIX_CALC_SIM)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out = ::fdopen(fds[0], "r");
    }
    ~Tool() {
        if (pid > 0 && !reaped) {
            ::kill(pid, SIGTERM);
            Wait();
        }
        if (out) ::fclose(out);
    }
    std::string Line() {
        char buf[1024];
        if (!out || !std::fgets(buf, sizeof buf, out)) return "";
        std::string s = buf;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid = -1;
    FILE* out = nullptr;
    bool reaped = false;
};

TEST(SimTool, DemoImagesCarryTheHeaderAndEscapableBytes) {
    TempDir top;
    const std::string dir = top.path + "/demo/images";   // missing, parent included: the tool makes both
    Tool tool({"--write-demo-images", dir, "--model", "80005d7c", "--image-version", "01.05.0000",
               "--os-size", "70000", "--stub-size", "5"});
    EXPECT_EQ(tool.Wait(), 0);
    const Bytes os = ReadFile(dir + "/UpdateCode.bin");
    const Bytes stub = ReadFile(dir + "/UpdateExe.bin");
    ASSERT_EQ(os.size(), 70000u);
    ASSERT_EQ(stub.size(), 5u);
    EXPECT_EQ(Bytes(os.begin() + 0x1001C, os.begin() + 0x10020), Bytes({0x80, 0x00, 0x5D, 0x7C}));
    EXPECT_EQ(std::string(os.begin() + 0x10020, os.begin() + 0x1002A), "01.05.0000");
    for (const Bytes* b : {&os, &stub}) {
        EXPECT_NE(std::find(b->begin(), b->end(), 0x5C), b->end());
        EXPECT_NE(std::find_if(b->begin(), b->end(), [](uint8_t c) { return c < 0x20; }), b->end());
    }
    EXPECT_TRUE(zsim::EqualsFile(stub, dir + "/UpdateExe.bin"));
    EXPECT_FALSE(zsim::EqualsFile(Bytes(stub.begin(), stub.end() - 1), dir + "/UpdateExe.bin"));
    EXPECT_FALSE(zsim::EqualsFile(stub, dir + "/missing.bin"));

    // Each refusal says why, and leaves nothing behind.
    TempDir empty;
    std::ofstream(empty.path + "/file") << "x";
    const std::string under = empty.path + "/file/images";
    const struct {
        std::string dir, version;
        size_t osSize;
        std::string why;
    } refusals[] = {
        {empty.path, "01.05.0000", 0x10029, "an OS image has at least 65578 bytes"},
        {empty.path, "1.5", 0x1002A, "the version text has 10 characters"},
        {under, "01.05.0000", 0x1002A, std::string("cannot make the folder: ") + std::strerror(ENOTDIR)},
    };
    for (const auto& r : refusals) {
        std::string why;
        EXPECT_FALSE(zsim::WriteDemoImages(r.dir, {0x33, 0x36, 0x35, 0x45}, r.version, r.osSize, 10, &why));
        EXPECT_EQ(why, r.why);
    }
    if (::geteuid() != 0) {   // root writes anywhere
        fs::create_directory(empty.path + "/locked");
        fs::permissions(empty.path + "/locked", fs::perms::owner_read | fs::perms::owner_exec);
        std::string why;
        EXPECT_FALSE(zsim::WriteDemoImages(empty.path + "/locked", {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 0x1002A,
                                           10, &why));
        EXPECT_EQ(why, "cannot create " + empty.path + "/locked/UpdateExe.bin: " + std::strerror(EACCES));
        fs::permissions(empty.path + "/locked", fs::perms::owner_all);
        EXPECT_TRUE(fs::is_empty(empty.path + "/locked"));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(empty.path), fs::directory_iterator()), 1 + (::geteuid() != 0))
        << "nothing left behind";
}

TEST(SimTool, PrintsItsPtyAndJudgesEachRun) {
    TempDir dir;
    ASSERT_TRUE(zsim::WriteDemoImages(dir.path, {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 70000, 3000));
    const std::string report = dir.path + "/report.txt";
    // Restarted at once: the next run comes straight after the update.
    Tool tool({"--runs", "2", "--restart-time", "0", "--verdict", "--report", report, "--expect-stub",
               dir.path + "/UpdateExe.bin", "--expect-os", dir.path + "/UpdateCode.bin"});
    const std::string path = tool.Line();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    {
        PtyLink pc(path);
        RunHonestUpdate(pc, Script{ReadFile(dir.path + "/UpdateExe.bin"), ReadFile(dir.path + "/UpdateCode.bin"),
                                   1024, true});
    }
    EXPECT_EQ(tool.Line(),
              "run 1: images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000");
    {
        PtyLink pc(path);
        EXPECT_EQ(pc.Send(Check()), Ack());
        EXPECT_EQ(pc.Send(Text(0x01, "07068")), Text(0x15, "00070"));
        pc.Send(Terminate04());
    }
    const std::string second = tool.Line();
    EXPECT_EQ(second.rfind("run 2: update abandoned by the updater (Terminate04); 1 protocol violation(s): ", 0), 0u)
        << second;
    EXPECT_EQ(tool.Wait(), 1) << "a run with a violation makes the exit status 1";
    std::ifstream in(report);
    std::string line1, line2;
    std::getline(in, line1);
    std::getline(in, line2);
    EXPECT_NE(line1.find("ending=terminate clean=1 violations=0"), std::string::npos) << line1;
    EXPECT_NE(line1.find("stub_match=yes os_match=yes"), std::string::npos) << line1;
    EXPECT_NE(line2.find("ending=terminate04 clean=0 violations=1"), std::string::npos) << line2;
    // Each run says how long after the link came up its first byte came,
    // and how long its bytes went back and forth; the whole update's took
    // some time, the three packets' far less than a minute.
    std::vector<long long> exchanges;
    for (const std::string& line : {line1, line2}) {
        const size_t at = line.find(" first_byte_ms=");
        ASSERT_NE(at, std::string::npos) << line;
        const long ms = std::stol(line.substr(at + 15));
        EXPECT_GE(ms, 0) << line;
        EXPECT_LT(ms, 120000) << line;
        const size_t exchange = line.find(" exchange_us=");
        ASSERT_NE(exchange, std::string::npos) << line;
        exchanges.push_back(std::stoll(line.substr(exchange + 13)));
        EXPECT_GE(exchanges.back(), 0) << line;
        EXPECT_LT(exchanges.back(), 60000000) << line;
    }
    EXPECT_GT(exchanges[0], 0) << line1;
}

// Kills a process that is still there after `seconds`: a hang guard, so that
// a tool that never exits fails the test instead of hanging it.
class Watchdog {
public:
    Watchdog(pid_t pid, int seconds)
        : thread_([this, pid, seconds] {
              std::unique_lock lock(mutex_);
              if (!changed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  ::kill(pid, SIGKILL);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
};

// The updater's side of a run up to `osBlocks` blocks into the OS image
// (1024-byte blocks, OS route).
void StartUpdate(Link& pc, const Script& script, uint16_t osBlocks) {
    Handshake(pc, script);
    ReadIdentity(pc, true);
    SendStub(pc, script);
    EXPECT_EQ(pc.Send(Announce57(static_cast<uint32_t>(script.os.size()))), Ack());
    const uint16_t total = static_cast<uint16_t>((script.os.size() + 1023) / 1024);
    for (uint16_t k = 1; k <= osBlocks; ++k) {
        const auto from = script.os.begin() + (k - 1) * 1024;
        const Bytes payload(from, k < total ? from + 1024 : script.os.end());
        EXPECT_EQ(pc.Send(DataPacket("57", total, k, payload)), Ack()) << "block " << k;
    }
}

// Only a run the updater brought to its end with every image intact counts
// as clean; every other ending is told apart, and a run stopped during the
// OS image says how far it got.
TEST(SimTool, VerdictTellsEveryEndingApartAndOnlyAnIntactRunIsClean) {
    TempDir dir;
    ASSERT_TRUE(zsim::WriteDemoImages(dir.path, {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 70000, 3000));
    const zsim::Expectation expect{dir.path + "/UpdateExe.bin", dir.path + "/UpdateCode.bin"};
    const Script script{ReadFile(expect.stubFile), ReadFile(expect.osFile), 1024, true};
    const std::string blocks = " of " + std::to_string((70000 + 1023) / 1024) + " blocks";

    enum class End { Terminate, Terminate04, LinkLost, Nothing };
    struct Case {
        int osBlocks;   // -1: the whole update; 0: stopped before the OS image is announced
        End end;
        std::string start;   // the verdict line starts so
        std::string tail;    // and ends so
        bool clean;
    };
    const Case cases[] = {
        {-1, End::Terminate, "run 1: images received intact (stub 3000 bytes, OS 70000 bytes)",
         "; calculator OS now 01.05.0000", true},
        {0, End::Terminate04, "run 1: update abandoned by the updater (Terminate04)", "(Terminate04)", false},
        {10, End::Terminate04, "run 1: update abandoned by the updater (Terminate04); OS image cut off mid-flash",
         "after 10" + blocks, false},
        {0, End::LinkLost, "run 1: link lost after ", " packets", false},
        {40, End::LinkLost, "run 1: link lost after ", "; OS image cut off mid-flash after 40" + blocks, false},
        {69, End::LinkLost, "run 1: link lost after ", "; OS image cut off mid-flash after 69" + blocks, false},
        {3, End::Nothing, "run 1: run did not end; OS image cut off mid-flash after 3" + blocks, blocks, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start + " / " + std::to_string(c.osBlocks));
        Pc pc;
        if (c.osBlocks < 0) {
            RunHonestUpdate(pc, script);
        } else if (c.osBlocks == 0) {
            Handshake(pc, script);
            ReadIdentity(pc, true);
            SendStub(pc, script);
        } else {
            StartUpdate(pc, script, static_cast<uint16_t>(c.osBlocks));
        }
        if (c.end == End::Terminate04) pc.Send(Terminate04());
        if (c.end == End::LinkLost) pc.calc.LinkLost();
        const zsim::RunVerdict v = zsim::JudgeRun(1, pc.calc.Record(), expect);
        EXPECT_EQ(v.line.rfind(c.start, 0), 0u) << v.line;
        ASSERT_GE(v.line.size(), c.tail.size());
        EXPECT_EQ(v.line.substr(v.line.size() - c.tail.size()), c.tail) << v.line;
        EXPECT_EQ(v.clean, c.clean) << v.line;
        EXPECT_NE(v.report.find(std::string(" clean=") + (c.clean ? "1" : "0")), std::string::npos) << v.report;
        const bool cut = c.osBlocks > 0;
        EXPECT_NE(v.report.find(std::string(" cut_mid_flash=") + (cut ? "1" : "0")), std::string::npos) << v.report;
    }
}

// The tool as a test oracle: it exits once its last run has ended however
// the updater left it, and a signal reports the run under way.
TEST(SimTool, EndsWithItsLastRunWhateverTheUpdaterDidAndReportsOnSigterm) {
    TempDir dir;
    ASSERT_TRUE(zsim::WriteDemoImages(dir.path, {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 70000, 3000));
    const Script script{ReadFile(dir.path + "/UpdateExe.bin"), ReadFile(dir.path + "/UpdateCode.bin"), 1024, true};
    const std::vector<std::string> expect = {"--verdict", "--expect-stub", dir.path + "/UpdateExe.bin",
                                             "--expect-os", dir.path + "/UpdateCode.bin"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), expect.begin(), expect.end());
        return args;
    };
    const std::string midFlash = "; OS image cut off mid-flash after 5 of 69 blocks";

    {
        // The updater dies mid-flash (its end of the pty closes): the pty's
        // hang-up ends the run, and with it the tool.
        Tool tool(with({"--runs", "1"}));
        Watchdog guard(tool.pid, 60);
        const std::string path = tool.Line();
        {
            PtyLink pc(path);
            ASSERT_TRUE(pc.IsOpen());
            StartUpdate(pc, script, 5);
        }
        const std::string line = tool.Line();
        EXPECT_EQ(line.rfind("run 1: link lost after ", 0), 0u) << line;
        EXPECT_NE(line.find(midFlash), std::string::npos) << line;
        EXPECT_EQ(tool.Wait(), 1);
    }
    {
        // SIGTERM while a run is under way: the verdict so far, not clean.
        Tool tool(with({}));
        Watchdog guard(tool.pid, 60);
        PtyLink pc(tool.Line());
        StartUpdate(pc, script, 5);
        ::kill(tool.pid, SIGTERM);
        EXPECT_EQ(tool.Line(), "run 1: run did not end" + midFlash);
        EXPECT_EQ(tool.Wait(), 1);
    }
    {
        // SIGTERM before the runs it was told to expect: not clean either.
        Tool tool(with({"--runs", "1"}));
        Watchdog guard(tool.pid, 60);
        tool.Line();
        ::kill(tool.pid, SIGTERM);
        EXPECT_EQ(tool.Line(), "");
        EXPECT_EQ(tool.Wait(), 1);
    }
    {
        // Serving until stopped, with no run seen: nothing to hold against anyone.
        Tool tool(with({}));
        Watchdog guard(tool.pid, 60);
        tool.Line();
        ::kill(tool.pid, SIGTERM);
        EXPECT_EQ(tool.Wait(), 0);
    }
}

// A replay ends on SIGTERM within a second wherever it waits: for the
// writer of a FIFO named as the trace, for an updater that never comes,
// for one that takes none of a flood of queued replies, and before a reply
// recorded far in the future. A replay no updater followed is "not run"
// (status 1), and what the trace says of itself reaches the terminal and
// the report escaped.
TEST(SimTool, ReplayEndsOnSigtermWithinASecondWhereverItWaits) {
    TempDir dir;
    const std::string header = "+0.000000 /dev/a @ zentrix-trace 1 kind=serial device=/dev/a\n";
    std::string reply;   // 64 bytes
    for (int b = 0; b < 64; ++b) reply += b == 0 ? "4F" : " 4F";
    std::string flood = header + "+0.000001 /dev/a > 05  .\n";
    for (int i = 0; i < 2000; ++i) flood += "+0.000002 /dev/a < " + reply + "  O\n";
    const struct {
        const char* what;
        std::string trace;   // empty: a FIFO no one writes
        std::vector<std::string> options;
        bool updater;        // the updater opens the pty and sends its first byte
        std::string verdict;
    } cases[] = {
        {"a FIFO", "", {}, false, "replay: not run: stopped while the trace was read"},
        {"no updater", header + "+0.000001 /dev/a = end result=\x1b[2Jfailed\xe2\x80\xae reason=-\n", {}, false,
         "replay: not run: no updater came before the replay was stopped; recorded ending: "
         "result=\\x1b[2Jfailed\\xe2\\x80\\xae reason=-"},
        {"a flood", flood, {}, true, "replay: stopped before the updater got to the end of the trace, at byte 0 of "},
        {"a far future", header + "+0.000001 /dev/a > 05  .\n+999999999.000000 /dev/a < 06  .\n",
         {"--replay-timing", "recorded"}, true,
         "replay: stopped before the updater got to the end of the trace, at byte 0 of the calculator's reply"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string trace = dir.path + "/trace", report = dir.path + "/report";
        fs::remove(trace);
        fs::remove(report);
        if (c.trace.empty()) {
            ASSERT_EQ(::mkfifo(trace.c_str(), 0600), 0);
        } else {
            std::ofstream(trace, std::ios::binary) << c.trace;
        }
        std::vector<std::string> args = {"--replay", trace, "--verdict", "--report", report};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Tool tool(args);
        Watchdog guard(tool.pid, 30);
        std::unique_ptr<PtyLink> pc;
        if (!c.trace.empty()) {
            pc = std::make_unique<PtyLink>(tool.Line());
            if (c.updater) {
                ASSERT_TRUE(pc->Write({0x05}));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto signalled = std::chrono::steady_clock::now();
        ::kill(tool.pid, SIGTERM);
        const std::string verdict = tool.Line();
        EXPECT_EQ(tool.Wait(), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(10));   // a hang guard: the verdict says how it ended
        EXPECT_EQ(verdict.rfind(c.verdict, 0), 0u) << verdict;
        const Bytes written = ReadFile(report);
        EXPECT_TRUE(std::none_of(written.begin(), written.end(), [](uint8_t b) { return b >= 0x7F || (b < 0x20 && b != '\n'); }));
        EXPECT_NE(std::string(written.begin(), written.end()).find(c.updater ? "divergence=stopped" : "divergence=not_run"),
                  std::string::npos);
    }
}

// With the recorded timing, a reply recorded far in the future is not
// waited for once the updater has gone: the replay ends by itself, saying
// the updater closed the link there.
TEST(SimTool, ARecordedPauseEndsWhenTheUpdaterLeaves) {
    TempDir dir;
    const std::string trace = dir.path + "/trace";
    std::ofstream(trace, std::ios::binary) << "+0.000000 /dev/a @ zentrix-trace 1 kind=serial device=/dev/a\n"
                                              "+0.000001 /dev/a > 05  .\n+999999999.000000 /dev/a < 06  .\n";
    Tool tool({"--replay", trace, "--verdict", "--replay-timing", "recorded"});
    Watchdog guard(tool.pid, 30);
    {
        PtyLink pc(tool.Line());
        ASSERT_TRUE(pc.Write({0x05}));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }   // the updater leaves
    const std::string verdict = tool.Line();
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_EQ(verdict.rfind("replay: the updater closed the link at byte 0 of the calculator's reply", 0), 0u)
        << verdict;
}

TEST(SimTool, CommandLineMistakesAreReported) {
    EXPECT_EQ(Tool({"--help"}).Wait(), 0);
    for (const char* bad : {"--block-size=512", "--fault=melt:3", "--model=3336354", "--route", "--frobnicate"}) {
        EXPECT_EQ(Tool({bad}).Wait(), 2) << bad;
    }
    zsim::ToolOptions o;
    std::string error;
    ASSERT_TRUE(zsim::ParseToolOptions({"--model", "FFFFFFFF", "--fault", "truncate:7", "--route=stub",
                                        "--block-size", "256", "--reject-tail", "2"},
                                       o, error))
        << error;
    EXPECT_EQ(o.calculator.modelCode, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(o.calculator.fault.kind, zsim::FaultKind::Truncate);
    EXPECT_EQ(o.calculator.fault.at, 7);
    EXPECT_FALSE(o.calculator.ackIdentityRequest);
    EXPECT_FALSE(o.calculator.ackBlockSizeProbe);
    EXPECT_EQ(o.calculator.rejectTailChecks, 2);
}

}  // namespace
