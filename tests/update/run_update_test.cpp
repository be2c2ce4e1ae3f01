// SPDX-License-Identifier: GPL-3.0-or-later
// Whole update runs against the simulated calculator: results, the packets on
// the wire in order, progress windows, and what the calculator received.
#include <gtest/gtest.h>

#include <filesystem>

#include "update/image_files.h"
#include "update/update_run.h"
#include "update_scenario.h"

using zsim::RunRecord;

namespace {

std::vector<std::string> CompleteRun(bool probeAck, bool stubRoute, int stubBlocks, int osBlocks)
{
    std::vector<std::string> log;
    wire::Handshake(log, probeAck, !stubRoute);
    if (!stubRoute) {
        log.insert(log.end(), {"pc RoleSwap", "calc Cmd55", "pc Ack"});
        wire::IdentityStream(log, "55");
        log.insert(log.end(), {"pc Cmd01", "calc DevInfo"});
        wire::Upload(log, "56", stubBlocks, true);
    } else {
        wire::Upload(log, "56", stubBlocks, true);
        log.insert(log.end(), {"pc Cmd4F", "calc Ack", "pc RoleSwap", "calc Cmd50", "pc Ack"});
        wire::IdentityStream(log, "50");
    }
    wire::Upload(log, "57", osBlocks, false);
    if (probeAck) {
        log.insert(log.end(), {"pc Cmd58", "calc Ack"});
    }
    log.insert(log.end(), {"pc Terminate", "calc Ack"});
    return log;
}

struct RouteCase {
    bool probeAck;
    bool stubRoute;
};

class BothRoutes : public UpdateScenario, public ::testing::WithParamInterface<RouteCase> {};

}  // namespace

TEST_P(BothRoutes, CompleteUpdateSendsBothImagesIntact)
{
    const RouteCase c = GetParam();
    const std::vector<uint8_t> stub(3000, 0x5C);   // every byte escaped, 3 or 12 blocks
    WriteStub(stub);
    WriteOsImage(0x10000 + 1025);
    zsim::Options options;
    options.ackBlockSizeProbe = c.probeAck;
    options.ackIdentityRequest = !c.stubRoute;
    RunRecord record;
    ASSERT_EQ(Run(options, record), Success);

    const int blockSize = c.probeAck ? 1024 : 256;
    const int stubBlocks = (3000 + blockSize - 1) / blockSize;
    const int osBlocks = (0x10000 + 1025 + blockSize - 1) / blockSize;
    EXPECT_EQ(Names(record), CompleteRun(c.probeAck, c.stubRoute, stubBlocks, osBlocks));
    EXPECT_TRUE(record.violations.empty()) << record.violations.front();
    EXPECT_EQ(record.stub, ReadFile(kStubFileName));
    EXPECT_EQ(record.osImage, ReadFile(kOsImageFileName));
    EXPECT_EQ(record.ending, RunRecord::Ending::Terminate);

    std::vector<std::string> windows;
    const std::string identity = "open Checking the calculator version... 0-256";
    const std::string stubWindow = "open Sending data... 0-" + std::to_string(stubBlocks) + "";
    if (!c.stubRoute) {
        windows = {identity, "step x256", "close", stubWindow};
    } else {
        windows = {stubWindow};
    }
    windows.insert(windows.end(), {"step x" + std::to_string(stubBlocks), "close"});
    if (c.stubRoute) {
        windows.insert(windows.end(), {identity, "step x256", "close"});
    }
    windows.insert(windows.end(), {"open Updating... 0-" + std::to_string(osBlocks),
                                   "pos 0", "range 0-" + std::to_string(osBlocks),
                                   "step x" + std::to_string(osBlocks), "close"});
    EXPECT_EQ(m_ui.Summary(), windows);
}

INSTANTIATE_TEST_SUITE_P(Routes, BothRoutes,
                         ::testing::Values(RouteCase{true, false}, RouteCase{false, false},
                                           RouteCase{true, true}, RouteCase{false, true}),
                         [](const auto& info) {
                             return std::string(info.param.stubRoute ? "Stub" : "Os") +
                                    (info.param.probeAck ? "1024" : "256");
                         });

TEST_F(UpdateScenario, StubExampleGoesOnTheWireByteForByte)
{
    RunRecord record;
    ASSERT_EQ(Run({}, record), Success);   // the stub is 00 5C 41
    EXPECT_EQ(PcPacket(record, "Cmd56"),
              Bytes(std::string("\x01" "56" "1" "0018" "00000003" "88030000" "88030000" "F2") + '\0'));
    EXPECT_EQ(PcPacket(record, "Data56#1"),
              (std::vector<uint8_t>{0x02, 0x35, 0x36, 0x31, 0x30, 0x30, 0x30, 0x44, 0x30, 0x30, 0x30, 0x31,
                                    0x30, 0x30, 0x30, 0x31, 0x5C, 0x20, 0x5C, 0x5C, 0x41, 0x39, 0x39}));
}

TEST_F(UpdateScenario, AlreadyCurrentForAnEqualOrNewerCalculator)
{
    for (const char* calcVersion : {"01.05.0000", "02.00.0000", "01.06.9999"}) {
        zsim::Options options;
        options.osVersion = calcVersion;
        RunRecord record;
        EXPECT_EQ(Run(options, record), AlreadyCurrent) << calcVersion;
        EXPECT_EQ(Names(record).back(), "pc Terminate04");
        EXPECT_TRUE(PcPacket(record, "Cmd56").empty());
    }
    zsim::Options older;
    older.osVersion = "01.04.9999";
    RunRecord record;
    EXPECT_EQ(Run(older, record), Success);
}

TEST_F(UpdateScenario, UnsupportedModelFromTheModelTableStopsBeforeDeviceInformation)
{
    zsim::Options options;
    options.modelCode = {0x33, 0x36, 0x35, 0x46};
    RunRecord record;
    EXPECT_EQ(Run(options, record), UnsupportedModel);
    std::vector<std::string> expected;
    wire::Handshake(expected, true, true);
    expected.insert(expected.end(), {"pc RoleSwap", "calc Cmd55", "pc Ack"});
    wire::IdentityStream(expected, "55");
    expected.push_back("pc Terminate04");
    EXPECT_EQ(Names(record), expected);
    EXPECT_EQ(m_ui.Summary().back(), "close");
}

// A check reads the version on the OS route and ends as an already-current
// run ends: no stub, no OS image, whatever the calculator needs; the stub
// route's calculator reports none and is given nothing.
TEST_F(UpdateScenario, ACheckSaysWhatTheCalculatorNeedsAndSendsNeitherImage)
{
    struct Case {
        std::array<uint8_t, 4> calc;
        const char* version;
        bool osRoute;
        bool images;
        const char* needs;
    };
    const Case cases[] = {
        {{0x33, 0x36, 0x35, 0x45}, "01.04.0000", true, true, "true"},
        {{0x33, 0x36, 0x35, 0x45}, "01.05.0000", true, true, "false"},
        {{0x80, 0x00, 0x5D, 0x7C}, "01.00.0000", true, true, "unsupported"},
        {{0x00, 0x00, 0x00, 0x00}, "01.00.0000", true, true, "unsupported"},
        {{0x33, 0x36, 0x35, 0x45}, "01.04.0000", true, false, ""},
        {{0x33, 0x36, 0x35, 0x45}, "01.04.0000", false, true, ""},
    };
    // A check compares with the session's images, and copies none itself.
    ImageSnapshots images;
    Message problem;
    ASSERT_TRUE(TakeImageSnapshots(m_inputs.baseDir, "", images, problem));
    m_inputs.checkOnly = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.needs);
        m_inputs.images = c.images ? &images : nullptr;
        zsim::Options options;
        options.modelCode = c.calc;
        options.osVersion = c.version;
        options.ackIdentityRequest = c.osRoute;
        RunRecord record;
        EXPECT_EQ(Run(options, record), Checked) << m_reason;
        EXPECT_EQ(m_facts.needsUpdate, c.needs);
        EXPECT_EQ(m_facts.osBefore, c.osRoute ? c.version : "");
        EXPECT_EQ(Names(record).back(), "pc Terminate04");
        EXPECT_TRUE(PcPacket(record, "Cmd56").empty() && PcPacket(record, "Cmd57").empty());
        EXPECT_EQ(m_facts.imageSha256.size(), c.images ? 64u : 0u);
    }
}

TEST_F(UpdateScenario, ModelCodeShorterThanFourBytesIsNotInTheTable)
{
    // The model code is the model packet's first four bytes: a packet of
    // exactly four is read whole, a shorter one names no model.
    const struct {
        int payloadLength;
        UpdateResult result;
    } cases[] = {{2, UnsupportedModel}, {3, UnsupportedModel}, {4, Success}, {5, Success}};
    for (const auto& c : cases) {
        zsim::Options options;
        options.modelPacketPayloadLength = c.payloadLength;
        RunRecord record;
        EXPECT_EQ(Run(options, record), c.result) << c.payloadLength << ": " << m_reason;
    }
}

TEST_F(UpdateScenario, ImageMustNeedTheCalculatorsClassOnBothRoutes)
{
    struct Case {
        std::array<uint8_t, 4> calc;
        std::string image;
        UpdateResult result;
    };
    const std::string a("\x80\x00\x5D\x7C", 4);
    const std::string f("\xFF\xFF\xFF\xFF", 4);
    const Case cases[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF}, a, Success},
        {{0x80, 0x00, 0x5D, 0x7C}, f, Success},
        {{0x33, 0x36, 0x35, 0x45}, a, UnsupportedModel},
        {{0x80, 0x00, 0x5D, 0x7C}, "365E", UnsupportedModel},
        {{0x80, 0x00, 0x5D, 0x7C}, "XXXX", UnsupportedModel},
    };
    for (const bool stubRoute : {false, true}) {
        for (const Case& c : cases) {
            WriteOsImage(kDefaultOsSize, c.image);
            zsim::Options options;
            options.modelCode = c.calc;
            options.ackIdentityRequest = !stubRoute;
            RunRecord record;
            EXPECT_EQ(Run(options, record), c.result) << stubRoute << " " << int(c.calc[0]);
        }
    }
}

TEST_F(UpdateScenario, ImageVersionTextWithoutItsPointsFails)
{
    WriteOsImage(kDefaultOsSize, "365E", "01-05-0000");
    RunRecord record;
    EXPECT_EQ(Run({}, record), Failed);
    EXPECT_EQ(Names(record).back(), "pc Terminate04");
    // The class test comes first: a foreign image with a bad version is unsupported.
    WriteOsImage(kDefaultOsSize, std::string("\x80\x00\x5D\x7C", 4), "01-05-0000");
    EXPECT_EQ(Run({}, record), UnsupportedModel);
}

TEST_F(UpdateScenario, NewerCalculatorIsUpdatedOnTheStubRoute)
{
    zsim::Options options;
    options.ackIdentityRequest = false;
    options.osVersion = "09.99.0000";
    RunRecord record;
    EXPECT_EQ(Run(options, record), Success);
    EXPECT_TRUE(PcPacket(record, "Cmd01").empty());
}

TEST_F(UpdateScenario, RejectedTailChecksRepeatTheWholeImage)
{
    for (const int rejections : {1, 2}) {
        zsim::Options options;
        options.rejectTailChecks = rejections;
        RunRecord record;
        ASSERT_EQ(Run(options, record), Success) << rejections;
        EXPECT_EQ(record.osAttempts, rejections + 1);
        EXPECT_EQ(record.tailChecks, rejections + 1);
        EXPECT_TRUE(record.violations.empty()) << record.violations.front();   // each sum started from 0
        EXPECT_EQ(record.osImage, ReadFile(kOsImageFileName));
        int resets = 0;
        for (const std::string& e : m_ui.events) {
            resets += e == "pos 0";
        }
        EXPECT_EQ(resets, rejections + 1);
        m_ui.events.clear();
    }
}

TEST_F(UpdateScenario, ThirdRejectedTailCheckFails)
{
    zsim::Options options;
    options.rejectTailChecks = 3;
    RunRecord record;
    EXPECT_EQ(Run(options, record), Failed);
    EXPECT_EQ(record.tailChecks, 3);
    EXPECT_EQ(record.ending, RunRecord::Ending::Terminate04);
}

// A step that fails after another failed (the ending's own packets on a
// link already lost, say) does not hide the first cause: the user is told
// what went wrong first.
TEST_F(UpdateScenario, TheFirstFailureIsTheReasonKept)
{
    CUpdateRun run(m_inputs, std::make_unique<CUsbChannel>());
    run.SetStep("the handshake");
    EXPECT_FALSE(run.Fail(Message::Raw("no reply")));
    run.SetStep("the end of the run");
    EXPECT_FALSE(run.Fail(Message::Raw("the link was lost")));
    EXPECT_EQ(run.Reason().English(), "the handshake: no reply");
}

TEST_F(UpdateScenario, UnexpectedReplyAtEachHandshakeStepAbandons)
{
    for (int reply = 0; reply < 3; ++reply) {
        zsim::Options options;
        options.fault = {zsim::FaultKind::Corrupt, reply};
        RunRecord record;
        EXPECT_EQ(Run(options, record), Failed) << reply;
        const auto names = Names(record);
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(names.back(), "pc Terminate04") << reply;
        EXPECT_EQ(names.size(), static_cast<size_t>(2 * reply + 3)) << reply;
    }
}

TEST_F(UpdateScenario, EmptyStubStillNeedsItsClosingAck)
{
    WriteStub({});
    RunRecord record;
    ASSERT_EQ(Run({}, record), Success);
    EXPECT_EQ(PcPacket(record, "Cmd56").size(), 35u);
    EXPECT_TRUE(PcPacket(record, "Data56").empty());
    const auto summary = m_ui.Summary();
    EXPECT_NE(std::find(summary.begin(), summary.end(), "open Sending data... 0-0"),
              summary.end());
}

TEST_F(UpdateScenario, OneByteOverAWholeNumberOfBlocksSendsAOneByteBlock)
{
    for (const bool big : {true, false}) {
        const size_t blockSize = big ? 1024 : 256;
        WriteStub(std::vector<uint8_t>(2 * blockSize + 1, 'S'));
        zsim::Options options;
        options.ackBlockSizeProbe = big;
        RunRecord record;
        ASSERT_EQ(Run(options, record), Success);
        const auto last = PcPacket(record, "Data56#3");
        ASSERT_EQ(last.size(), 19u);
        EXPECT_EQ(std::string(last.begin() + 4, last.begin() + 8), "0009");
        EXPECT_EQ(record.stub, ReadFile(kStubFileName));
    }
}

TEST_F(UpdateScenario, NoCalculatorMeansFailedWithNothingClaimed)
{
    UseDevice("");
    EXPECT_EQ(RunOnce(), Failed);
    UseDevice("/nonexistent/tty");
    EXPECT_EQ(RunOnce(), Failed);
}

TEST_F(UpdateScenario, ClaimedPathsAreSkipped)
{
    zsim::PtyCalculator calculator;
    ASSERT_TRUE(calculator.Start());
    UseDevice(calculator.SlavePath());
    m_claimed.ClaimDevicePath(calculator.SlavePath().c_str());
    EXPECT_EQ(RunOnce(), Failed);
    EXPECT_TRUE(calculator.Runs().empty());
    m_claimed.ReleaseDevicePath(calculator.SlavePath().c_str());
}

TEST_F(UpdateScenario, ARunHandedItsCalculatorTalksToItAloneAndLeavesItClaimed)
{
    zsim::PtyCalculator calculator;
    ASSERT_TRUE(calculator.Start());
    UseDevice("/nonexistent/tty");   // nothing the run could find by itself
    CDeviceClaim claim(m_claimed, calculator.SlavePath());
    ASSERT_TRUE(claim.Held());
    EXPECT_FALSE(CDeviceClaim(m_claimed, calculator.SlavePath()).Held());   // held once only
    m_inputs.devicePath = calculator.SlavePath();
    EXPECT_EQ(RunOnce(), Success);
    calculator.WaitForRuns(1, 5000);
    EXPECT_EQ(calculator.Runs().size(), 1u);
    // Whoever handed it over gives it back.
    EXPECT_EQ(m_claimed.m_claimedPaths, std::vector<std::string>{calculator.SlavePath()});
    claim.Release();
    EXPECT_EQ(m_claimed.m_claimedCount, 0);
}

TEST_F(UpdateScenario, UnusableImagesStopTheRunBeforeTheCalculatorIsTouched)
{
    const auto image = ReadFile(kOsImageFileName);
    for (int variant = 0; variant < 3; ++variant) {
        WriteOsImage(kDefaultOsSize);
        WriteStub({1, 2, 3});
        if (variant == 0) {
            std::filesystem::remove(m_base + "/" + kStubFileName);
        } else if (variant == 1) {
            std::filesystem::remove(m_base + "/" + kOsImageFileName);
        } else {
            WriteFile(kOsImageFileName, std::vector<uint8_t>(image.begin(), image.begin() + kOsHeaderEnd - 1));
        }
        zsim::PtyCalculator calculator;
        ASSERT_TRUE(calculator.Start());
        UseDevice(calculator.SlavePath());
        EXPECT_EQ(RunOnce(), Failed) << variant;
        EXPECT_FALSE(calculator.WaitForRuns(1, 300)) << variant;
        EXPECT_TRUE(calculator.Runs().empty()) << variant;
    }
}

TEST_F(UpdateScenario, ImagesTooLargeToNumberAreRefusedBeforeTheirCommand)
{
    // 65536 blocks of 256 bytes: the stub route sends the stub command only
    // after a successful size check, so nothing of it reaches the calculator.
    WriteStub(std::vector<uint8_t>(65536u * 256, 0x41));
    zsim::Options options;
    options.ackBlockSizeProbe = false;
    RunRecord record;
    EXPECT_EQ(Run(options, record), Failed);
    EXPECT_TRUE(PcPacket(record, "Cmd56").empty());
    EXPECT_EQ(Names(record).back(), "pc Terminate04");
}

TEST_F(UpdateScenario, ImagesChangedOrRemovedDuringTheRunDoNotChangeWhatIsSent)
{
    // What was checked is what is sent: the OS image is replaced by one for
    // another model while the stub goes out, or removed while the OS image
    // goes out with a second attempt to come; the calculator gets the image
    // that was there when the run started, whole.
    for (const char* phase : {"Sending data...", "Updating..."}) {
        const std::vector<uint8_t> original = ReadFile(kOsImageFileName);
        m_ui.onWindowShown = [&](const std::string& text) {
            if (text == phase) {
                std::filesystem::remove(m_base + "/" + kOsImageFileName);
                if (text == std::string("Sending data...")) {
                    WriteOsImage(kDefaultOsSize + 7, "\x80\x00\x5D\x7C", "00.01.0000");
                }
            }
        };
        zsim::Options options;
        options.rejectTailChecks = 1;   // the second attempt sends it all again
        RunRecord record;
        EXPECT_EQ(Run(options, record), Success) << phase;
        EXPECT_EQ(record.osAttempts, 2) << phase;
        EXPECT_EQ(record.osImage, original) << phase;
        WriteOsImage(kDefaultOsSize);
    }
    m_ui.onWindowShown = nullptr;
}

TEST_F(UpdateScenario, SilenceAfterTheEndingIsWaitedOutBrieflyAndSilenceBeforeItEndsTheRunAtTheLimit)
{
    // How many packets the program sends before PKT_TERMINATE in a whole run.
    RunRecord whole;
    ASSERT_EQ(Run({}, whole), Success);
    int beforeTerminate = 0;
    for (const zsim::Packet& p : whole.log) {
        beforeTerminate += p.fromPc && p.bytes[0] != 0x18 ? 1 : 0;
    }

    // The calculator never answers PKT_TERMINATE: its answer is not examined,
    // so the run is a success after a short wait, not a hang.
    m_inputs.wait.finalReplyMs = 100;
    zsim::Options silentAtTheEnd;
    silentAtTheEnd.fault = {zsim::FaultKind::GoSilent, beforeTerminate};
    RunRecord record;
    EXPECT_EQ(Run(silentAtTheEnd, record), Success);

    // Silent one packet earlier (the tail check): with a reply limit the run
    // gives up at the limit; a user may end the wait only once it is long.
    m_inputs.wait.silenceLimitMs = 1000;
    std::vector<ReplyWait> waits;
    m_ui.onWait = [&](const ReplyWait& wait) {
        waits.push_back(wait);
        return true;
    };
    zsim::Options silentAtTheCheck;
    silentAtTheCheck.fault = {zsim::FaultKind::GoSilent, beforeTerminate - 1};
    EXPECT_EQ(Run(silentAtTheCheck, record), Failed);
    EXPECT_EQ(m_reason, "the tail check: the calculator did not answer for 1 s (the limit set by ZENTRIX_REPLY_TIMEOUT)");
    // The silence is said in whole seconds, rounded: 1.6 s is 2 s, not 1.
    m_inputs.wait.silenceLimitMs = 1600;
    EXPECT_EQ(Run(silentAtTheCheck, record), Failed);
    EXPECT_EQ(m_reason, "the tail check: the calculator did not answer for 2 s (the limit set by ZENTRIX_REPLY_TIMEOUT)");
    m_inputs.wait.silenceLimitMs = 1000;
    ASSERT_FALSE(waits.empty());
    EXPECT_GT(waits.back().waitedMs, 900u);
    EXPECT_FALSE(waits.back().endable);   // 10 s are not up
    m_ui.onWait = nullptr;
}
