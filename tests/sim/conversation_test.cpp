// SPDX-License-Identifier: GPL-3.0-or-later
// Whole conversations with the simulated calculator, driven by the
// hand-written updater of pc_side.h: both routes, both block sizes, and the
// edges of the image transfer.
#include <gtest/gtest.h>

#include <tuple>

#include "pc_side.h"

namespace {

using namespace pcside;

Bytes OsImage(size_t size, const std::string& version = "01.05.0000") {
    Bytes os = Pattern(size, 7);
    const uint8_t model[] = {0x33, 0x36, 0x35, 0x45};
    std::copy(model, model + 4, os.begin() + 0x1001C);
    std::copy(version.begin(), version.end(), os.begin() + 0x10020);
    return os;
}

class RouteAndBlockSize : public ::testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(RouteAndBlockSize, CompleteUpdateDeliversBothImagesIntact) {
    const auto [osRoute, blockSize] = GetParam();
    zsim::Options options;
    options.ackIdentityRequest = osRoute;
    options.ackBlockSizeProbe = blockSize == 1024;
    Pc pc(options);
    Script s{Pattern(2500, 3), OsImage(0x10000 + 3 * 1024 + 5), blockSize, osRoute};
    const Seen seen = RunHonestUpdate(pc, s);

    const zsim::RunRecord& r = pc.calc.Record();
    EXPECT_EQ(r.ending, zsim::RunRecord::Ending::Terminate);
    EXPECT_TRUE(r.violations.empty()) << r.violations.front();
    EXPECT_EQ(r.stub, s.stub);
    EXPECT_EQ(r.osImage, s.os);
    EXPECT_EQ(r.newOsVersion, "01.05.0000");
    EXPECT_EQ(r.osAttempts, 1);
    EXPECT_EQ(r.tailChecks, blockSize == 1024 ? 1 : 0);
    EXPECT_EQ(r.blockSize, blockSize);
    EXPECT_EQ(r.stubRoute, !osRoute);
    EXPECT_TRUE(pc.calc.Ended());

    ASSERT_EQ(seen.identityPayloads.size(), 256u);
    EXPECT_EQ(Bytes(seen.identityPayloads[3].begin(), seen.identityPayloads[3].begin() + 4),
              Bytes({0x33, 0x36, 0x35, 0x45}));
    if (osRoute) {
        const Bytes& info = seen.deviceInfo;
        ASSERT_EQ(info.size(), 174u);
        EXPECT_EQ(info[0], 0x06);
        EXPECT_EQ(std::string(info.begin() + 1, info.begin() + 3), "02");
        EXPECT_EQ(std::string(info.begin() + 104, info.begin() + 114), "01.00.0000");
    } else {
        EXPECT_TRUE(seen.deviceInfo.empty());
    }
    // The log holds both directions in order, the templates with their zero byte.
    ASSERT_GE(r.log.size(), 4u);
    EXPECT_TRUE(r.log[0].fromPc);
    EXPECT_EQ(r.log[0].bytes, Check());
    EXPECT_FALSE(r.log[1].fromPc);
    EXPECT_EQ(r.log[1].bytes, Ack());
    bool sawAnnouncement = false;
    for (const auto& p : r.log) {
        if (p.fromPc && p.bytes.size() == 35 && p.bytes[1] == '5' && p.bytes[2] == '6') {
            sawAnnouncement = true;
            EXPECT_EQ(p.bytes.back(), 0);
        }
    }
    EXPECT_TRUE(sawAnnouncement);
}

INSTANTIATE_TEST_SUITE_P(Sim, RouteAndBlockSize,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(1024, 256)));

TEST(SimConversation, WorkedExampleOfTheOsImageIsAcceptedByteForByte) {
    Bytes os = Pattern(65539, 7);   // too short for a header; the worked example is about the tail
    os[65536] = 0x00;
    os[65537] = 0x5C;
    os[65538] = 0x41;
    Pc pc;
    Script s{{0x00, 0x5C, 0x41}, os, 1024, true};
    Handshake(pc, s);
    ReadIdentity(pc, true);
    Bytes stubBlock = Text(0x02, "561000D00010001");
    stubBlock.insert(stubBlock.end(), {0x5C, 0x20, 0x5C, 0x5C, 0x41, '9', '9'});
    Bytes announce = Text(0x01, "5610018000000038803000088030000F2");
    announce.push_back(0);
    EXPECT_EQ(pc.Send(announce), Ack());
    EXPECT_EQ(pc.Send(stubBlock), Concat(Ack03(), Ack()));

    Bytes announceOs = Text(0x01, "571001000010003A00000008D");
    announceOs.push_back(0);
    EXPECT_EQ(pc.Send(announceOs), Ack());
    for (uint16_t k = 1; k <= 64; ++k) {
        const Bytes payload(os.begin() + (k - 1) * 1024, os.begin() + k * 1024);
        ASSERT_EQ(pc.Send(DataPacket("57", 65, k, payload)), Ack());
    }
    Bytes last = Text(0x02, "571000D00410041");
    last.insert(last.end(), {0x5C, 0x20, 0x5C, 0x5C, 0x41, '9', '0'});
    EXPECT_EQ(pc.Send(last), Ack());
    Bytes tail = Text(0x01, "581001400000003A0010000FF6393");
    tail.push_back(0);
    EXPECT_EQ(pc.Send(tail), Ack());
    EXPECT_EQ(pc.Send(Terminate()), Ack());
    EXPECT_TRUE(pc.calc.Record().violations.empty()) << pc.calc.Record().violations.front();
    EXPECT_EQ(pc.calc.Record().osImage, os);
    EXPECT_EQ(pc.calc.Record().stub, Bytes({0x00, 0x5C, 0x41}));
}

TEST(SimConversation, EmptyStubIsAnsweredWithBothAcksAtOnce) {
    Pc pc;
    Script s{{}, OsImage(0x1002A), 1024, true};
    RunHonestUpdate(pc, s);
    EXPECT_TRUE(pc.calc.Record().violations.empty());
    EXPECT_TRUE(pc.calc.Record().stub.empty());
}

TEST(SimConversation, TailCheckSizeFieldWrapsForImagesUpTo64KiB) {
    for (size_t size : {size_t{65536}, size_t{65535}, size_t{1024}}) {
        Pc pc;
        Script s{Pattern(10, 1), Pattern(size, 9), 1024, true};
        Handshake(pc, s);
        ReadIdentity(pc, true);
        SendStub(pc, s);
        SendOsImage(pc, s);   // 65536: "00000000" and "0000"; 65535: "FFFFFFFF"
        EXPECT_TRUE(pc.calc.Record().violations.empty()) << size << ": " << pc.calc.Record().violations.front();
        EXPECT_EQ(pc.Send(Terminate()), Ack());
        EXPECT_TRUE(pc.calc.Record().newOsVersion.empty()) << "an image without a header installs no version";
    }
}

TEST(SimConversation, RejectedTailChecksMakeTheUpdaterSendTheWholeImageAgain) {
    zsim::Options options;
    options.rejectTailChecks = 2;
    Pc pc(options);
    Script s{Pattern(100, 2), OsImage(0x10000 + 2048), 1024, true, 2};
    RunHonestUpdate(pc, s);
    const auto& r = pc.calc.Record();
    EXPECT_TRUE(r.violations.empty());
    EXPECT_EQ(r.osAttempts, 3);
    EXPECT_EQ(r.tailChecks, 3);
    EXPECT_EQ(r.osImage, s.os) << "each attempt starts the image afresh";
    EXPECT_EQ(r.newOsVersion, "01.05.0000");
}

TEST(SimConversation, IdentityStreamFollowsTheOptions) {
    zsim::Options options;
    options.modelCode = {0x80, 0x00, 0x5D, 0x7C};
    options.identityPacketCount = 5;
    Pc pc(options);
    Handshake(pc, Script{});
    Seen seen = ReadIdentity(pc, true);
    ASSERT_EQ(seen.identityPayloads.size(), 5u);
    EXPECT_EQ(Bytes(seen.identityPayloads[3].begin(), seen.identityPayloads[3].begin() + 4),
              Bytes({0x80, 0x00, 0x5D, 0x7C}));

    options.modelPacketPayloadLength = 2;
    options.identityPacketCount = 256;
    options.osVersion = "1A.04";
    Pc short3(options);
    Handshake(short3, Script{});
    seen = ReadIdentity(short3, true);
    ASSERT_EQ(seen.identityPayloads.size(), 256u);
    EXPECT_EQ(seen.identityPayloads[3], Bytes({0x80, 0x00}));
    EXPECT_EQ(std::string(seen.deviceInfo.begin() + 104, seen.deviceInfo.begin() + 114), "1A.04     ");
}

TEST(SimConversation, UpdaterThatGivesUpEndsTheRunWithoutAReply) {
    Pc pc;
    Handshake(pc, Script{});
    ReadIdentity(pc, true);
    EXPECT_TRUE(pc.Send(Terminate04()).empty());
    EXPECT_EQ(pc.calc.Record().ending, zsim::RunRecord::Ending::Terminate04);
    EXPECT_TRUE(pc.calc.Record().violations.empty());
    EXPECT_TRUE(pc.calc.Record().newOsVersion.empty());
}

}  // namespace
