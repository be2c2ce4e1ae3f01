// SPDX-License-Identifier: GPL-3.0-or-later
// Faults the calculator can be told to commit, counted within each run.
#include <gtest/gtest.h>

#include "pc_side.h"

namespace {

using namespace pcside;

zsim::Options WithFault(zsim::FaultKind kind, int at) {
    zsim::Options o;
    o.fault = {kind, at};
    return o;
}

TEST(SimFaults, HangUpComesWhenThePacketAfterTheCountArrives) {
    const Bytes stream[] = {Check(), Probe(), IdentityRequest()};
    for (int at = 0; at < 3; ++at) {
        Pc pc(WithFault(zsim::FaultKind::HangUp, at));
        for (int i = 0; i < at; ++i) EXPECT_FALSE(pc.Send(stream[i]).empty()) << at;
        EXPECT_TRUE(pc.Send(stream[at]).empty()) << at;
        EXPECT_TRUE(pc.calc.HungUp());
        EXPECT_EQ(pc.calc.Record().ending, zsim::RunRecord::Ending::LinkLost);
        EXPECT_EQ(pc.calc.Record().log.size(), static_cast<size_t>(2 * at + 1));
    }
}

TEST(SimFaults, SilentCalculatorStillHearsTheUpdaterGiveUp) {
    Pc pc(WithFault(zsim::FaultKind::GoSilent, 3));
    Handshake(pc, Script{});
    EXPECT_TRUE(pc.Send(RoleSwap()).empty());
    EXPECT_TRUE(pc.Send(Ack()).empty());
    EXPECT_FALSE(pc.calc.Ended());
    EXPECT_TRUE(pc.Send(Terminate04()).empty());
    EXPECT_EQ(pc.calc.Record().ending, zsim::RunRecord::Ending::Terminate04);
    EXPECT_TRUE(pc.calc.Record().violations.empty());
    EXPECT_FALSE(pc.calc.HungUp());
}

TEST(SimFaults, CorruptAndTruncateHitTheCalculatorsOwnPacketByIndex) {
    Pc corrupt(WithFault(zsim::FaultKind::Corrupt, 1));
    EXPECT_EQ(corrupt.Send(Check()), Ack());
    EXPECT_EQ(corrupt.Send(Probe()), Text(0x06, "10070"));
    EXPECT_EQ(corrupt.Send(IdentityRequest()), Ack()) << "only the one packet";
    EXPECT_EQ(corrupt.calc.Record().log[3].bytes, Text(0x06, "10070")) << "the log shows what went out";

    Pc truncate(WithFault(zsim::FaultKind::Truncate, 3));
    Handshake(truncate, Script{});   // packets 0 to 2 go out whole
    const Bytes command = Cmd55();
    EXPECT_EQ(truncate.Send(RoleSwap()), Bytes(command.begin(), command.begin() + 17));
    EXPECT_TRUE(truncate.Send(Ack()).empty()) << "silent after the cut";
}

TEST(SimFaults, OversizeLandsOnTheNextDataPacket) {
    Pc pc(WithFault(zsim::FaultKind::Oversize, 0));
    Handshake(pc, Script{});
    EXPECT_EQ(pc.Send(RoleSwap()), Cmd55());
    const Bytes first = pc.Send(Ack());
    ASSERT_GT(first.size(), 16u);
    EXPECT_EQ(std::string(first.begin(), first.begin() + 8), "\x02" "5510FFF");
    EXPECT_LT(first.size(), 0xFFFu + 10);
    EXPECT_TRUE(ParseCalcDataPacket(pc.Send(Ack())).ok) << "only one packet lies";
}

TEST(SimFaults, CheckInTheMiddleOfARunStartsTheNextRun) {
    Pc pc;
    EXPECT_EQ(pc.Send(Check()), Ack());
    EXPECT_EQ(pc.Send(Probe()), Ack());
    EXPECT_TRUE(pc.Send(Concat(Check(), Probe())).empty());
    EXPECT_EQ(pc.calc.Record().ending, zsim::RunRecord::Ending::LinkLost);
    EXPECT_FALSE(pc.calc.HungUp());
    zsim::Calculator next;
    next.Receive(pc.calc.TakeLeftover());
    EXPECT_EQ(next.TakeOutput(), Concat(Ack(), Ack()));
}

}  // namespace
