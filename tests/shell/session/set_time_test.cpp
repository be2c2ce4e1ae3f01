// SPDX-License-Identifier: GPL-3.0-or-later
// How long a row took, what a set has left by its rows' pace, and the end's
// counts with the set's time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "shell/session/classroom_row.h"
#include "shell/session/row_port.h"
#include "update/image_transfer.h"

namespace {

using namespace std::chrono_literals;

std::chrono::steady_clock::time_point g_now;
std::chrono::steady_clock::time_point Now() { return g_now; }

ClassroomRow Left(int seconds, bool finished = false)
{
    ClassroomRow row;
    row.leftSeconds = seconds;
    row.finished = finished;
    return row;
}

}  // namespace

TEST(SetTime, DurationsAreSaidInTheUnitsThatMatter)
{
    const std::pair<long long, const char*> cases[] = {
        {0, "0 s"}, {42, "42 s"}, {60, "1 min"}, {400, "6 min 40 s"}, {3599, "59 min 59 s"}, {3900, "1 h 5 min"},
        {-3, "0 s"}};
    for (const auto& [seconds, said] : cases) {
        EXPECT_EQ(DurationText(std::chrono::seconds(seconds)).English(), said) << seconds;
    }
}

TEST(SetTime, TheTimeLeftIsTheSlowestRowsRoundedUpAndSaidOnlyWhenEveryRowCanTell)
{
    const std::pair<std::vector<ClassroomRow>, const char*> cases[] = {
        {{Left(5), Left(32)}, "about 40 s left"},
        {{Left(61)}, "about 2 min left"},
        {{Left(120), Left(-1, true)}, "about 2 min left"},   // an ended row tells nothing
        {{Left(30), Left(-1)}, ""},                          // one cannot tell yet
        {{Left(0), Left(0)}, ""},                            // only their ends are left
        {{}, ""},
    };
    for (const auto& [rows, said] : cases) {
        EXPECT_EQ(TimeLeftText(rows).English(), said) << rows.size();
    }
}

// The row's own estimate: from the pace of its OS image once a part of it
// is written, nothing before, nothing after.
TEST(SetTime, ARowJudgesWhatIsLeftByThePaceOfItsOsImage)
{
    g_now = std::chrono::steady_clock::time_point(100s);
    CRowPort port("/dev/ttyUSB0", 1, Now);
    port.Began();
    port.OpenProgress("Checking the calculator...", 4);
    port.SetProgressPos(2);
    g_now += 10s;
    EXPECT_EQ(port.Row().leftSeconds, -1) << "not the OS image yet";
    port.OpenProgress(kOsPhaseText, 100);
    port.SetProgressPos(10);
    g_now += 3s;
    EXPECT_EQ(port.Row().leftSeconds, -1) << "too soon to judge";
    g_now += 7s;
    EXPECT_EQ(port.Row().leftSeconds, 90) << "10 of 100 blocks in 10 s";
    port.SetProgressPos(80);
    g_now += 6s;
    EXPECT_EQ(port.Row().leftSeconds, 4) << "80 of 100 in 16 s";
    port.OpenProgress("Checking...", 1);
    EXPECT_EQ(port.Row().leftSeconds, 0) << "the image is written";
    g_now += 74s;
    port.Finish({Success, {}});
    EXPECT_EQ(port.Row().took.English(), "1 min 40 s");
}

TEST(SetTime, TheEndCountsTheSetWithItsTime)
{
    RunTally counts;
    counts.updated = 28;
    counts.failed = 2;
    EXPECT_EQ(CountsText(counts).English(), "30 calculators: 28 updated, 0 already current, 0 not supported, 2 failed.");
    counts.tookSeconds = 400;
    EXPECT_EQ(CountsText(counts).English(),
              "30 calculators in 6 min 40 s: 28 updated, 0 already current, 0 not supported, 2 failed.");
    RunTally checks;
    checks.checked = 1;
    checks.tookSeconds = 3;
    EXPECT_EQ(CountsText(checks).English(), "1 calculator in 3 s: 1 checked, 0 could not be read.");
}
