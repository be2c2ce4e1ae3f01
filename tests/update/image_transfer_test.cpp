// SPDX-License-Identifier: GPL-3.0-or-later
// The OS-image phase on a scripted channel: the worked example byte for byte,
// and the attempt rules around the tail check.
#include <gtest/gtest.h>

#include <deque>

#include "update/image_transfer.h"
#include "update_scenario.h"

namespace {

// Records every write and answers reads from a queue of replies; an empty
// queue is a broken link.
class ScriptedChannel : public CUsbChannel {
public:
    std::vector<std::vector<uint8_t>> writes;
    std::deque<uint8_t> replies;
    bool failWrites = false;

    void Answer(const std::string& reply, int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            replies.insert(replies.end(), reply.begin(), reply.end());
        }
    }
    int Write(const uint8_t* buffer, uint32_t length) override
    {
        if (failWrites) {
            return IoError;
        }
        writes.emplace_back(buffer, buffer + length);
        return ChannelOk;
    }
    int Read(uint8_t* buffer, uint32_t length, uint32_t& count) override
    {
        count = 0;
        if (replies.size() < length) {
            return IoError;
        }
        for (; count < length; ++count) {
            buffer[count] = replies.front();
            replies.pop_front();
        }
        return ChannelOk;
    }
};

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
        auto channel = std::make_unique<ScriptedChannel>();
        m_channel = channel.get();
        m_run = std::make_unique<CUpdateRun>(m_inputs, std::move(channel));
        // The images alone, without the header checks of a whole run.
        for (auto [image, name] : {std::pair{&m_run->m_images.os, kOsImageFileName},
                                   std::pair{&m_run->m_images.stub, kStubFileName}}) {
            std::string problem;
            ASSERT_TRUE(image->copy.Make(m_inputs.baseDir + name, "", problem)) << problem;
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
    std::string Written(size_t i) const
    {
        const auto& w = m_channel->writes.at(i);
        return std::string(w.begin(), w.end());
    }

    ScriptedChannel* m_channel = nullptr;   // owned by the run
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
    EXPECT_TRUE(m_channel->replies.empty());
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
    m_channel->replies.clear();
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
