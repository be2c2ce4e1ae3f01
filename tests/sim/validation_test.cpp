// SPDX-License-Identifier: GPL-3.0-or-later
// The calculator checks everything the updater sends: each fault is recorded,
// answered with a refusal, and the conversation can go on from where it was.
#include <gtest/gtest.h>

#include "pc_side.h"

namespace {

using namespace pcside;

const Bytes kRefusal = Text(0x15, "00070");

bool Mentions(const zsim::RunRecord& r, const std::string& word) {
    for (const auto& v : r.violations)
        if (v.find(word) != std::string::npos) return true;
    return false;
}

// A calculator taken to the point where it waits for the OS image.
struct AtOsImage : Pc {
    explicit AtOsImage(zsim::Options o = {}, int blockSize = 1024) : Pc(o) {
        s.blockSize = blockSize;
        Handshake(*this, s);
        ReadIdentity(*this, true);
        SendStub(*this, s);
    }
    Script s{Pattern(10, 1), Pattern(0x10000 + 1024, 5), 1024, true};
};

TEST(SimValidation, BadChecksumAndPacketsOutOfOrderAreRefusedAndRecorded) {
    Pc pc;
    EXPECT_EQ(pc.Send(Probe()), kRefusal) << "the probe before the check";
    EXPECT_EQ(pc.Send(Check()), Ack());
    EXPECT_EQ(pc.Send(Text(0x01, "07068")), kRefusal);
    EXPECT_EQ(pc.Send(Text(0x01, "0706a")), kRefusal) << "lower-case checksum";
    EXPECT_EQ(pc.Send(Probe()), Ack()) << "the run goes on from where it was";
    const auto& r = pc.calc.Record();
    ASSERT_EQ(r.violations.size(), 3u);
    EXPECT_NE(r.violations[0].find("unexpected"), std::string::npos);
    EXPECT_NE(r.violations[1].find("checksum"), std::string::npos);
    EXPECT_NE(r.violations[2].find("checksum"), std::string::npos);
}

TEST(SimValidation, BlocksMustBeNumberedCountedAndSizedAsAnnounced) {
    AtOsImage pc;
    const Bytes& os = pc.s.os;
    ASSERT_EQ(pc.Send(Announce57(static_cast<uint32_t>(os.size()))), Ack());
    const Bytes block1(os.begin(), os.begin() + 1024);
    EXPECT_EQ(pc.Send(DataPacket("57", 65, 2, block1)), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "block number"));
    EXPECT_EQ(pc.Send(DataPacket("57", 64, 1, block1)), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "total count"));
    EXPECT_EQ(pc.Send(DataPacket("57", 65, 1, Bytes(block1.begin(), block1.begin() + 1000))), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "payload of 1000 bytes"));
    EXPECT_EQ(pc.Send(DataPacket("56", 65, 1, block1)), kRefusal) << "a stub block during the OS image";
    Bytes badEscape = DataPacket("57", 65, 1, Bytes(1024, 0x41));
    badEscape[16] = 0x5C;   // a backslash before 'A': not a valid escape
    badEscape[badEscape.size() - 2] = 0;
    const std::string cs = Hex(Sum8(badEscape, 1, badEscape.size() - 2), 2);
    std::copy(cs.begin(), cs.end(), badEscape.end() - 2);
    EXPECT_EQ(pc.Send(badEscape), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "escaping"));
    EXPECT_EQ(pc.Send(DataPacket("57", 65, 1, block1)), Ack()) << "a good block is still taken";
    EXPECT_EQ(pc.calc.Record().violations.size(), 5u);
}

TEST(SimValidation, CommandTemplateWithoutItsZeroByteIsRefused) {
    AtOsImage pc;
    Bytes announce = Announce57(static_cast<uint32_t>(pc.s.os.size()));
    announce.pop_back();
    EXPECT_TRUE(pc.Send(announce).empty()) << "the zero byte may still come";
    pc.calc.OnQuiet();
    EXPECT_EQ(pc.calc.TakeOutput(), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "zero byte"));

    // A late zero byte is fine; a packet in its place is judged on its own.
    EXPECT_TRUE(pc.Send(announce).empty());
    EXPECT_EQ(pc.Send({0}), Ack());
    EXPECT_EQ(pc.calc.Record().violations.size(), 1u);
}

TEST(SimValidation, TailCheckMustDescribeThePartBeyond64KiB) {
    AtOsImage pc;
    const Bytes& os = pc.s.os;
    const uint32_t size = static_cast<uint32_t>(os.size());
    Script once = pc.s;
    once.tailRejections = 0;
    for (const Bytes& wrong : {TailCheck58(size - 0x10000, static_cast<uint16_t>(TailSum(os) + 1)),
                               TailCheck58(size, TailSum(os))}) {
        ASSERT_EQ(pc.Send(Announce57(size)), Ack());
        for (uint16_t k = 1; k <= 65; ++k) {
            const Bytes payload(os.begin() + (k - 1) * 1024, os.begin() + std::min<size_t>(os.size(), k * 1024));
            ASSERT_EQ(pc.Send(DataPacket("57", 65, k, payload)), Ack());
        }
        EXPECT_EQ(pc.Send(wrong), kRefusal);
    }
    EXPECT_TRUE(Mentions(pc.calc.Record(), "sum"));
    EXPECT_TRUE(Mentions(pc.calc.Record(), "size field"));
    SendOsImage(pc, once);
    EXPECT_EQ(pc.calc.Record().osAttempts, 3);
    EXPECT_EQ(pc.Send(Terminate()), Ack());
    EXPECT_EQ(pc.calc.Record().violations.size(), 2u);
}

TEST(SimValidation, SuccessAfterAThirdRejectedTailCheckIsAViolation) {
    zsim::Options options;
    options.rejectTailChecks = 3;
    AtOsImage pc(options);
    Script s = pc.s;
    s.tailRejections = 2;
    SendOsImage(pc, s, false);
    EXPECT_EQ(pc.calc.Record().tailChecks, 3);
    EXPECT_EQ(pc.Send(Terminate()), Ack());
    EXPECT_TRUE(Mentions(pc.calc.Record(), "before the OS image was accepted"));
    EXPECT_TRUE(pc.calc.Record().newOsVersion.empty());
}

TEST(SimValidation, NoTailCheckWithSmallBlocksAndNoImageBeyond65535Blocks) {
    zsim::Options options;
    options.ackBlockSizeProbe = false;
    AtOsImage pc(options, 256);
    EXPECT_EQ(pc.Send(Announce57(65536u * 256u)), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "65535 blocks"));
    SendOsImage(pc, pc.s);
    EXPECT_EQ(pc.Send(TailCheck58(static_cast<uint32_t>(pc.s.os.size()) - 0x10000, TailSum(pc.s.os))), kRefusal);
    EXPECT_TRUE(Mentions(pc.calc.Record(), "end of the conversation"));
    EXPECT_EQ(pc.Send(Terminate()), Ack());
    EXPECT_EQ(pc.calc.Record().osImage, pc.s.os);
    EXPECT_EQ(pc.calc.Record().violations.size(), 2u);
}

TEST(SimValidation, StrayBytesAndBrokenFramesAreSkippedUpToTheNextPacket) {
    Pc pc;
    EXPECT_EQ(pc.Send(Concat({0x00, 0x41, 0x7F}, Check())), Concat(kRefusal, Ack()));
    EXPECT_EQ(pc.Send(Concat(Text(0x02, "571FFFF"), Probe())), Concat(kRefusal, Ack()));
    EXPECT_EQ(pc.Send(Concat(Text(0x01, "54X"), IdentityRequest())), Concat(kRefusal, Ack()));
    EXPECT_TRUE(pc.Send(Text(0x03, "000")).empty());
    pc.calc.OnQuiet();
    EXPECT_EQ(pc.calc.TakeOutput(), kRefusal);
    const auto& r = pc.calc.Record();
    ASSERT_EQ(r.violations.size(), 4u);
    EXPECT_NE(r.violations[0].find("not a packet"), std::string::npos);
    EXPECT_NE(r.violations[1].find("larger"), std::string::npos);
    EXPECT_NE(r.violations[2].find("flag"), std::string::npos);
    EXPECT_NE(r.violations[3].find("incomplete"), std::string::npos);
}

TEST(SimValidation, PacketsSplitAtAnyByteAreReassembled) {
    Pc pc;
    const Bytes stream = Concat(Concat(Check(), Probe()), IdentityRequest());
    Bytes replies;
    for (uint8_t b : stream) {
        pc.calc.Receive(&b, 1);
        const Bytes out = pc.calc.TakeOutput();
        replies.insert(replies.end(), out.begin(), out.end());
    }
    EXPECT_EQ(replies, Concat(Concat(Ack(), Ack()), Ack()));
    EXPECT_TRUE(pc.calc.Record().violations.empty());
}

}  // namespace
