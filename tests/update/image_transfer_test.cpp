// SPDX-License-Identifier: GPL-3.0-or-later
// The OS-image phase on a scripted channel: the worked example byte for byte,
// and the attempt rules around the tail check.
#include <gtest/gtest.h>

#include <deque>

#include "memory_transport.h"
#include "update/image_transfer.h"
#include "update_scenario.h"

namespace {

const std::string kAck("\x06" "00070");
const std::string kNak("\x15" "0406C");

class OsImagePhase : public UpdateScenario {
protected:
    void SetUp() override
    {
        UpdateScenario::SetUp();
        // The example image: three bytes longer than 64 KiB, ending 00 5C 41.
        std::vector<uint8_t> image(0x10000 + 3, 0x41);
        image[0x10000] = 0x00;
        image[0x10001] = 0x5C;
        WriteFile("UpdateCode.bin", image);
        NewRun();
    }
    // A run on a fresh link, with the images alone (without the header checks
    // of a whole run).
    void NewRun()
    {
        m_channel = std::make_shared<MemoryLink>();
        m_run = std::make_unique<CUpdateRun>(m_inputs, MemoryChannel(m_channel));
        ASSERT_EQ(m_run->Channel().Open("memory"), ChannelOk);
        for (auto [image, name] : {std::pair{&m_run->m_images.os, kOsImageFileName},
                                   std::pair{&m_run->m_images.stub, kStubFileName}}) {
            Message problem;
            ASSERT_TRUE(image->copy.Make(m_inputs.baseDir + name, "", problem)) << problem.English();
            ASSERT_TRUE(image->copy.QuerySize(image->size));
        }
        m_run->m_blockSize = 1024;
        m_run->m_stubBlockCount = 1;
    }
    void TearDown() override
    {
        m_run.reset();   // the run's release would close its window and snapshots
        UpdateScenario::TearDown();
    }
    std::string Written(size_t i) const { return m_channel->Written(i); }

    std::shared_ptr<MemoryLink> m_channel = std::make_shared<MemoryLink>();
    std::unique_ptr<CUpdateRun> m_run;
};

}  // namespace

TEST_F(OsImagePhase, WorkedExampleByteForByte)
{
    m_channel->Answer(kAck, 1 + 65 + 1);
    ASSERT_TRUE(::WriteOsImage(*m_run));
    ASSERT_EQ(m_channel->writes.size(), 67u);
    EXPECT_EQ(Written(0), std::string("\x01" "57" "1" "0010" "00010003" "A0000000" "8D") + '\0');
    EXPECT_EQ(Written(65), std::string("\x02" "57" "1" "000D" "0041" "0041") + "\x5C\x20\x5C\x5C\x41" + "90");
    EXPECT_EQ(Written(66), std::string("\x01" "58" "1" "0014" "00000003" "A0010000" "FF63" "93") + '\0');
    m_run->CloseProgress();
    EXPECT_EQ(m_ui.Summary(), (std::vector<std::string>{"open Updating... 0-65", "pos 0",
                                                        "range 0-65", "step x65", "close"}));
}

TEST_F(OsImagePhase, SmallBlocksHaveNoTailCheck)
{
    m_run->m_blockSize = 256;
    m_channel->Answer(kAck, 1 + 257);
    ASSERT_TRUE(::WriteOsImage(*m_run));
    EXPECT_EQ(m_channel->writes.size(), 258u);
    EXPECT_TRUE(m_channel->script.empty());
}

TEST_F(OsImagePhase, RejectedTailCheckSendsEverythingAgainWithTheSumRestarted)
{
    m_channel->Answer(kAck, 66);
    m_channel->Answer(kNak);
    m_channel->Answer(kAck, 66);
    m_channel->Answer(kAck);
    ASSERT_TRUE(::WriteOsImage(*m_run));
    ASSERT_EQ(m_channel->writes.size(), 2u * 67);
    EXPECT_EQ(Written(67), Written(0));
    EXPECT_EQ(Written(133), Written(66));   // the same sum, not twice the sum
}

TEST_F(OsImagePhase, ThirdRejectionAndBrokenTailChecksFailWithoutAnotherAttempt)
{
    m_channel->Answer(kAck, 66);
    m_channel->Answer(kNak);
    m_channel->Answer(kAck, 66);
    m_channel->Answer(kNak);
    m_channel->Answer(kAck, 66);
    m_channel->Answer(kNak);
    m_channel->Answer(kAck, 67);   // would be a fourth attempt
    EXPECT_FALSE(::WriteOsImage(*m_run));
    EXPECT_EQ(m_channel->writes.size(), 3u * 67);

    // The tail check's reply never comes: no second attempt.
    m_channel->writes.clear();
    m_channel->script.clear();
    m_channel->Answer(kAck, 66);
    EXPECT_FALSE(::WriteOsImage(*m_run));
    EXPECT_EQ(m_channel->writes.size(), 67u);
}

TEST_F(OsImagePhase, StubWithABrokenLastReplyFailsAndKeepsItsWindowForTheRelease)
{
    m_channel->Answer(kAck);       // the announcement
    m_channel->Answer(kAck);       // the only block wants Ack_03
    EXPECT_FALSE(SendUpdaterStub(*m_run));
    EXPECT_EQ(m_ui.openWindows, 1);
}

// How the link behaves under the image phase: replies that come a byte at
// a time or after stalls both ways still make an intact image; a spare reply
// stops the phase before the next packet instead of being taken for that
// packet's answer; a lost link fails where it was lost.
TEST_F(OsImagePhase, LinkBehavioursEndTheImagePhaseTruthfully)
{
    struct Case {
        const char* name;
        void (*shape)(MemoryLink&);
        bool succeeds;
        size_t writes;           // packets written before the phase ended
        const char* inReason;    // part of the failure reason
    };
    const Case cases[] = {
        {"replies a byte at a time", [](MemoryLink& l) { l.packetSize = 1; }, true, 67, ""},
        {"stalls both ways",
         [](MemoryLink& l) {
             l.stalledReads = 3;
             l.stalledWrites = 3;
             l.lostWhenDry = false;
         },
         true, 67, ""},
        {"a spare reply after block 10",
         [](MemoryLink& l) { l.script[10].insert(l.script[10].end(), kAck.begin(), kAck.end()); }, false, 11,
         "answers nothing the program asked"},
        {"lost after block 20", [](MemoryLink& l) { l.script.resize(20); }, false, 21, "block 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewRun();
        m_channel->Answer(kAck, 67);
        c.shape(*m_channel);
        EXPECT_EQ(::WriteOsImage(*m_run), c.succeeds);
        EXPECT_EQ(m_channel->writes.size(), c.writes);
        EXPECT_NE(m_run->Reason().English().find(c.inReason), std::string::npos) << m_run->Reason().English();
        m_run->CloseProgress();
    }
}

// Each block is read while the calculator takes the one before it; a block
// that cannot be read (here the image said to be two blocks longer than its
// copy) still fails only after the block before it was taken, and is never
// sent short.
TEST_F(OsImagePhase, ABlockThatCannotBeReadFailsInItsTurnAndIsNeverSent)
{
    m_run->m_images.os.size += 2048;   // 67 blocks announced, 65 in the copy
    m_channel->Answer(kAck, 67);
    EXPECT_FALSE(::WriteOsImage(*m_run));
    EXPECT_EQ(m_channel->writes.size(), 65u);   // the announcement and blocks 1 to 64
    EXPECT_NE(m_run->Reason().English().find("block 65 of 67: the scratch copy of the image cannot be read"),
              std::string::npos)
        << m_run->Reason().English();
    m_run->CloseProgress();
}
