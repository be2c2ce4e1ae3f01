// SPDX-License-Identifier: GPL-3.0-or-later
// The calculator hangs up at every packet boundary of a complete run on each
// route: every run ends cleanly, Failed unless the final Terminate was
// already on its way.
#include <gtest/gtest.h>

#include "update_scenario.h"

using zsim::RunRecord;

namespace {

class HangUpEverywhere : public UpdateScenario, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_P(HangUpEverywhere, EveryBoundaryEndsCleanly)
{
    const bool stubRoute = GetParam();
    zsim::Options base;
    base.ackIdentityRequest = !stubRoute;
    RunRecord complete;
    ASSERT_EQ(Run(base, complete), Success);
    int pcPackets = 0;
    for (const zsim::Packet& p : complete.log) {
        pcPackets += p.fromPc ? 1 : 0;
    }
    ASSERT_GT(pcPackets, 256);

    for (int at = 0; at < pcPackets; ++at) {
        zsim::Options options = base;
        options.fault = {zsim::FaultKind::HangUp, at};
        RunRecord record;
        const UpdateResult result = Run(options, record);
        // The PC's last packet is Terminate: once it is written the run
        // succeeded, whatever the reply.
        const UpdateResult expected = at == pcPackets - 1 ? Success : Failed;
        ASSERT_EQ(result, expected) << "hang-up after " << at << " packets";
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, HangUpEverywhere, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "StubRoute" : "OsRoute"; });
