// SPDX-License-Identifier: GPL-3.0-or-later
// Several update runs in one process at once, each on its own thread with its
// own port, sharing one claimed-device list and one enumeration of four
// simulated calculators: every run takes a calculator of its own and ends as
// that calculator makes it end. Built under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "recording_front_end.h"
#include "update/image_files.h"
#include "update_scenario.h"

namespace {

// The four calculators' paths, offered in order, on channels that do not
// pause after closing.
std::unique_ptr<CUsbChannel> QuickChannel()
{
    auto channel = std::make_unique<CUsbChannel>();
    channel->m_closePauseMs = 0;
    return channel;
}

}  // namespace

TEST_F(UpdateScenario, FourRunsAtOnceEachTakeTheirOwnCalculatorToItsOwnEnd)
{
    zsim::Options osRoute;
    zsim::Options stubRoute;
    stubRoute.ackBlockSizeProbe = false;
    stubRoute.ackIdentityRequest = false;
    zsim::Options unsupported;
    unsupported.modelCode = {'9', '9', '9', '9'};
    zsim::Options current;
    current.osVersion = "01.05.0000";   // the image's own version
    const std::vector<std::pair<zsim::Options, UpdateResult>> calculators = {
        {osRoute, Success}, {stubRoute, Success}, {unsupported, UnsupportedModel}, {current, AlreadyCurrent}};

    std::vector<std::unique_ptr<zsim::PtyCalculator>> sims;
    std::vector<std::string> paths;
    for (const auto& [options, expected] : calculators) {
        sims.push_back(std::make_unique<zsim::PtyCalculator>(options));
        ASSERT_TRUE(sims.back()->Start());
        paths.push_back(sims.back()->SlavePath());
    }

    CListedDeviceSource devices(paths, QuickChannel, Message::Raw("four simulated calculators"));
    CClaimedDeviceList claimed;
    std::vector<RecordingFrontEnd> ports(calculators.size());
    std::vector<UpdateOutcome> outcomes(calculators.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < calculators.size(); ++i) {
        threads.emplace_back([&, i] {
            UpdateRunInputs inputs = m_inputs;
            inputs.devices = &devices;
            inputs.claimed = &claimed;
            inputs.port = &ports[i];
            outcomes[i] = RunUpdate(inputs);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }

    // Each calculator saw exactly one run, and it ended as that calculator
    // makes a run end; the results, whichever thread had which calculator,
    // are those four.
    std::multiset<UpdateResult> results;
    for (const UpdateOutcome& outcome : outcomes) {
        results.insert(outcome.result);
        EXPECT_EQ(outcome.result == Success, outcome.reason.Empty()) << outcome.reason.English();
    }
    EXPECT_EQ(results, (std::multiset<UpdateResult>{Success, Success, UnsupportedModel, AlreadyCurrent}));
    for (size_t i = 0; i < sims.size(); ++i) {
        ASSERT_TRUE(sims[i]->WaitForRuns(1, 10000)) << i;
        const std::vector<zsim::RunRecord> runs = sims[i]->Runs();
        ASSERT_EQ(runs.size(), 1u) << "calculator " << i << " served more than one run";
        const zsim::RunRecord& run = runs.front();
        EXPECT_TRUE(run.violations.empty()) << i;
        const bool complete = calculators[i].second == Success;
        EXPECT_EQ(run.ending, complete ? zsim::RunRecord::Ending::Terminate : zsim::RunRecord::Ending::Terminate04) << i;
        if (complete) {
            EXPECT_EQ(run.osImage, ReadFile(kOsImageFileName)) << i;
        }
    }
    for (const RecordingFrontEnd& port : ports) {
        EXPECT_EQ(port.openWindows, 0);
    }
    EXPECT_EQ(claimed.m_claimedCount, 0);
}
