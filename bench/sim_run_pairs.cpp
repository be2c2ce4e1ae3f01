// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_run_pairs.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "quiet_port.h"
#include "sim/calculator.h"
#include "update/run_update.h"

namespace bench {

namespace {

// The CPU time of the calling thread: the run's own work, without the
// simulated calculator's (a thread of its own) or other programs'.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One run's wall time and the CPU time of the thread that ran it.
struct RunTimes {
    double wall = 0;
    double cpu = 0;
};

// Times of the runs with the last run's copy and without, pair by pair.
struct PairTimes {
    std::vector<RunTimes> with;
    std::vector<RunTimes> without;
};

// A whole update run (identity, stub, OS image, the close) against the
// calculator at `device`, on the program's own channel; its trace copied to
// `lastRunCopy` unless that is empty. Without `settle` the channel does not
// pause after its close (the copy's lines, made at the close, then count in full).
RunTimes TimeWholeRun(const std::string& baseDir, const std::string& device, const std::string& lastRunCopy,
                      bool settle)
{
    CQuietPort port;
    CClaimedDeviceList claimed;
    const auto newChannel = [settle] {
        auto channel = std::make_unique<CUsbChannel>();
        if (!settle) {
            channel->m_closePauseMs = 0;
        }
        return channel;
    };
    CListedDeviceSource devices({device}, newChannel, Message::Raw(device));
    UpdateRunInputs inputs;
    inputs.baseDir = baseDir;
    inputs.devices = &devices;
    inputs.claimed = &claimed;
    inputs.port = &port;
    inputs.trace.lastRunCopy = lastRunCopy;
    const double cpuStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const UpdateOutcome outcome = RunUpdate(inputs);
    const RunTimes times{Seconds(std::chrono::steady_clock::now() - start), ThreadCpuSeconds() - cpuStart};
    if (outcome.result != Success) {
        std::fprintf(stderr, "the update run against the simulated calculator failed: %s\n", outcome.reason.English().c_str());
        std::exit(1);
    }
    return times;
}

// Pairs of whole runs, one with the last run's copy and one without, the
// order alternating from pair to pair; a fresh simulated calculator for
// each pair.
PairTimes TimeRunPairs(const std::filesystem::path& dir, int pairs, bool settle)
{
    PairTimes times;
    std::vector<RunTimes>& with = times.with;
    std::vector<RunTimes>& without = times.without;
    const std::string baseDir = (dir / "sim-images").string() + "/";
    const std::string copy = (dir / "last-run.trace").string();
    for (int pair = 0; pair < pairs; ++pair) {
        // Both runs of a pair update it: it keeps its old version after each.
        zsim::Options options;
        options.afterUpdate = zsim::Options::AfterUpdate::Keep;
        zsim::PtyCalculator calculator(options);
        if (!calculator.Start()) {
            std::fprintf(stderr, "cannot start the simulated calculator\n");
            std::exit(1);
        }
        const std::string& device = calculator.SlavePath();
        if (pair % 2 == 0) {
            with.push_back(TimeWholeRun(baseDir, device, copy, settle));
            without.push_back(TimeWholeRun(baseDir, device, "", settle));
        } else {
            without.push_back(TimeWholeRun(baseDir, device, "", settle));
            with.push_back(TimeWholeRun(baseDir, device, copy, settle));
        }
    }
    return times;
}

// The value at fraction `q` (0 to 1) of the sorted values.
double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

// One line: the median of each kind, and the median, quartiles and range of
// the pairs' ratios (with / without) of the time `of`; `target`, when not
// empty, after the median ratio.
void PrintPairs(const char* what, const PairTimes& times, double RunTimes::*of, const char* target = "")
{
    std::vector<double> with;
    std::vector<double> without;
    std::vector<double> ratios;
    for (size_t i = 0; i < times.with.size(); ++i) {
        with.push_back(times.with[i].*of);
        without.push_back(times.without[i].*of);
        ratios.push_back(with.back() / without.back());
    }
    std::printf("update run: %s: median %.3f s with the copy, %.3f s without; ratio per pair: median %.3f%s, "
                "quartiles %.3f to %.3f, range %.3f to %.3f\n",
                what, Quantile(with, 0.5), Quantile(without, 0.5), Quantile(ratios, 0.5), target,
                Quantile(ratios, 0.25), Quantile(ratios, 0.75), Quantile(ratios, 0), Quantile(ratios, 1));
}

}  // namespace

void ReportRunPairs(const std::filesystem::path& dir, size_t imageSize, int pairs)
{
    std::string why;
    if (!zsim::WriteDemoImages((dir / "sim-images").string(), {0x33, 0x36, 0x35, 0x45}, "01.05.0000", imageSize,
                               3000, &why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::exit(1);
    }
    const PairTimes times = TimeRunPairs(dir, pairs, true);
    const PairTimes unsettled = TimeRunPairs(dir, pairs, false);
    std::printf("update run: whole runs of a %zu KiB image against the simulated calculator on a pty, %d "
                "interleaved pairs with and without the last run's trace copy\n",
                imageSize >> 10, pairs);
    PrintPairs("wall time as the program runs", times, &RunTimes::wall, " (target <= 1.03)");
    PrintPairs("CPU time of the run's thread", times, &RunTimes::cpu);
    PrintPairs("wall time without the settling pause after the close", unsettled, &RunTimes::wall);
}

}  // namespace bench
