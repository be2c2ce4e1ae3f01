// SPDX-License-Identifier: GPL-3.0-or-later
// The recorded traces of tests/traces replayed by the simulator against the
// current program: a change that alters the wire shows up here first, the
// divergence named. And a problem report made after a failed run replays
// to the same ending.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kTraces = fs::path(ZENTRIX_SOURCE_DIR) / "tests" / "traces";

// The words after the time and device of a trace's ending line.
std::string EndingWords(const std::string& trace)
{
    const size_t at = trace.rfind(" = end ");
    return at == std::string::npos ? "" : trace.substr(at + 1, trace.find('\n', at) - at - 1);
}

class TraceReplay : public ::testing::Test {
protected:
    TraceReplay()
    {
        m_dir = MakeDemoFolder("zentrix-replay", ZENTRIX_SIM_BIN);
        // The images the traces were recorded with (tests/traces/record).
        const ProcessResult demo = RunProcess({ZENTRIX_SIM_BIN, "--write-demo-images", (m_dir / "img").string(),
                                               "--stub-size", "100", "--os-size", "65578"},
                                              {}, "");
        EXPECT_EQ(demo.exitCode, 0) << demo.err;
        for (const char* name : {"UpdateExe.bin", "UpdateCode.bin"}) {
            fs::last_write_time(m_dir / "img" / name, fs::file_time_type::clock::now() - std::chrono::minutes(1));
        }
    }
    ~TraceReplay() override { fs::remove_all(m_dir); }

    struct Replayed {
        int simulatorExit = -1;
        std::string verdict;
        std::string newTrace;   // the program's own trace of the replayed run
        ProcessResult updater;
    };

    // The simulator replays `trace`; the program updates it, answering `answers`.
    Replayed Replay(const fs::path& trace, const std::string& answers, std::vector<std::string> env = {})
    {
        CBackgroundProcess simulator({ZENTRIX_SIM_BIN, "--replay", trace.string(), "--verdict"});
        const std::string device = simulator.ReadLine(20000);
        EXPECT_EQ(device.rfind("/dev/", 0), 0u) << device;
        const fs::path newTrace = m_dir / "replayed.trace";
        fs::remove(newTrace);
        env.insert(env.end(), {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + device, "ZENTRIX_USB_IDS=",
                               "ZENTRIX_REPLY_TIMEOUT=1", "TMPDIR=" + (m_dir / "scratch").string(),
                               "ZENTRIX_TRACE=" + newTrace.string()});
        Replayed replayed;
        replayed.updater = RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string(), "0"}, env, answers, 60000);
        replayed.verdict = simulator.ReadLine(20000);
        replayed.simulatorExit = simulator.Wait();
        replayed.newTrace = FileText(newTrace);
        return replayed;
    }

    fs::path m_dir;
};

struct RecordedCase {
    const char* trace;
    const char* answers;
    const char* ending;   // as recorded, for a reader of this table; the test reads the file's
};

TEST_F(TraceReplay, EveryRecordedTraceReplaysToItsRecordedEnding)
{
    const RecordedCase cases[] = {
        {"os-route", "ok\nok\nok\ncancel\n", "result=updated block=1024"},
        {"stub-route", "ok\nok\nok\ncancel\n", "result=updated block=256"},
        {"already-current", "ok\nok\nok\n\n", "result=current"},
        {"unsupported-model", "ok\nok\nok\n\n", "result=unsupported"},
        {"silent-mid-image", "ok\nok\nok\n\n", "result=failed block=1024 reason=the OS image, block 26 of 65"},
    };
    for (const RecordedCase& c : cases) {
        SCOPED_TRACE(c.trace);
        const fs::path trace = kTraces / (std::string(c.trace) + ".trace");
        const std::string recorded = EndingWords(FileText(trace));
        ASSERT_NE(recorded.find(c.ending), std::string::npos) << recorded;
        const Replayed replayed = Replay(trace, c.answers);
        EXPECT_EQ(replayed.simulatorExit, 0) << replayed.verdict;
        EXPECT_EQ(replayed.verdict.rfind("replay: the updater followed the trace to its end", 0), 0u)
            << replayed.verdict;
        EXPECT_EQ(EndingWords(replayed.newTrace), recorded);
        EXPECT_EQ(replayed.updater.exitCode, 18) << replayed.updater.err;
    }
}

// One byte of the program's side changed in a copy of a trace: the replay
// stops there and names it.
TEST_F(TraceReplay, AChangedByteOfTheProgramsSideIsNamed)
{
    std::istringstream lines(FileText(kTraces / "os-route.trace"));
    std::ostringstream copy;
    int number = 0;
    int changedLine = 0;
    int writes = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const size_t mark = line.find(" > ");
        // The 266th write is a block of an image; its 10th byte changes.
        if (mark != std::string::npos && ++writes == 266) {
            const size_t byte = mark + 3 + 9 * 3;
            line.replace(byte, 2, line.compare(byte, 2, "7E") == 0 ? "7F" : "7E");
            changedLine = number;
        }
        copy << line << '\n';
    }
    ASSERT_NE(changedLine, 0);
    const fs::path changed = m_dir / "changed.trace";
    std::ofstream(changed) << copy.str();

    const Replayed replayed = Replay(changed, "ok\nok\nok\ncancel\n");
    EXPECT_EQ(replayed.simulatorExit, 1);
    EXPECT_EQ(replayed.verdict.rfind("replay: the updater sent different bytes at byte 9 of the updater's write on "
                                     "trace line " +
                                         std::to_string(changedLine) + " (",
                                     0),
              0u)
        << replayed.verdict;
    EXPECT_NE(replayed.verdict.find(": expected 7"), std::string::npos) << replayed.verdict;
}

// A trace written before traces could be replayed is refused, with the reason.
TEST_F(TraceReplay, ATraceWithoutAHeaderIsRefused)
{
    const fs::path old = m_dir / "old.trace";
    std::ofstream(old) << "2026-12-07 09:55:46.123 /dev/ttyUSB0 > 05 30 30  .00\n";
    const ProcessResult run = RunProcess({ZENTRIX_SIM_BIN, "--replay", old.string()}, {}, "", 20000);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "zentrix-calc-sim: cannot replay " + old.string() +
                           ": it has no header line: it was written before traces could be replayed; record it "
                           "again with this version of zentrix-update\n");
}

// A run fails against the simulator; the problem report made afterwards
// holds its record and trace, and replays to the same ending. A report
// replaces a link under its name, never writing through it.
TEST_F(TraceReplay, AProblemReportAfterAFailedRunReplaysToTheSameEnding)
{
    const std::string state = "XDG_STATE_HOME=" + (m_dir / "state").string();
    {
        CBackgroundProcess simulator({ZENTRIX_SIM_BIN, "--runs", "1", "--fault", "silent:290"});
        const std::string device = simulator.ReadLine(20000);
        const ProcessResult failed = RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string(), "0"},
                                                {state, "ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + device,
                                                 "ZENTRIX_USB_IDS=", "ZENTRIX_REPLY_TIMEOUT=1", "ZENTRIX_TRACE="},
                                                "ok\nok\nok\n\n", 60000);
        EXPECT_NE(failed.out.find("Update failed."), std::string::npos) << failed.out;
        EXPECT_EQ(simulator.Wait(), 1);
    }
    const fs::path report = m_dir / "report.txt";
    const ProcessResult made = RunProcess({ZENTRIX_UPDATE_BIN, "--report-problem", report.string()},
                                          {state, "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS="}, "", 20000);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    const std::string text = FileText(report);
    EXPECT_EQ(text.rfind("Zentrix OS Update problem report\nprogram: zentrix-update 1.0.0.1\nplatform: Linux ", 0),
              0u)
        << text.substr(0, 200);
    EXPECT_NE(text.find("\"result\": \"failed\", \"reason\": \"the OS image, block 26 of 65"), std::string::npos);
    EXPECT_NE(text.find("\n[devices]\nno calculator found"), std::string::npos);
    const std::string recorded = EndingWords(text);
    EXPECT_EQ(recorded.rfind("= end result=failed block=1024 reason=the OS image, block 26 of 65", 0), 0u)
        << recorded;

    const Replayed replayed = Replay(report, "ok\nok\nok\n\n");
    EXPECT_EQ(replayed.simulatorExit, 0) << replayed.verdict;
    EXPECT_EQ(EndingWords(replayed.newTrace), recorded);

    const fs::path victim = m_dir / "victim";
    std::ofstream(victim) << "kept\n";
    fs::remove(report);
    fs::create_symlink(victim, report);
    const ProcessResult replaced = RunProcess({ZENTRIX_UPDATE_BIN, "--report-problem=" + report.string()},
                                              {state, "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS="}, "", 20000);
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_FALSE(fs::is_symlink(report));
    EXPECT_EQ(FileText(report).rfind("Zentrix OS Update problem report\n", 0), 0u);
    EXPECT_EQ(FileText(victim), "kept\n");
}

}  // namespace
