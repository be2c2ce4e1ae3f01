// SPDX-License-Identifier: GPL-3.0-or-later
// The calculator served on a pty, as the updater meets it.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "pty_link.h"

namespace {

using namespace pcside;

Bytes SmallOs() {
    Bytes os = Pattern(0x10000 + 700, 3);
    const std::string version = "02.00.0001";
    std::copy(version.begin(), version.end(), os.begin() + 0x10020);
    return os;
}

TEST(SimPty, ServesOneRunAfterAnotherOnTheSameSlave) {
    zsim::PtyCalculator sim;
    ASSERT_TRUE(sim.Start());
    {
        PtyLink pc(sim.SlavePath());
        ASSERT_TRUE(pc.IsOpen());
        RunHonestUpdate(pc, Script{Pattern(1500, 1), SmallOs(), 1024, true});
    }
    ASSERT_TRUE(sim.WaitForRuns(1));
    zsim::Options stubRoute;
    stubRoute.ackIdentityRequest = false;
    stubRoute.ackBlockSizeProbe = false;
    sim.SetOptions(stubRoute);
    {
        PtyLink pc(sim.SlavePath());
        RunHonestUpdate(pc, Script{Pattern(0, 1), SmallOs(), 256, false});
    }
    ASSERT_TRUE(sim.WaitForRuns(2));
    const auto runs = sim.Runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& r : runs) {
        EXPECT_EQ(r.ending, zsim::RunRecord::Ending::Terminate);
        EXPECT_TRUE(r.violations.empty()) << r.violations.front();
        EXPECT_EQ(r.osImage, SmallOs());
        EXPECT_EQ(r.newOsVersion, "02.00.0001");
    }
    EXPECT_EQ(runs[0].stub, Pattern(1500, 1));
    EXPECT_FALSE(runs[0].stubRoute);
    EXPECT_TRUE(runs[1].stubRoute);
    EXPECT_EQ(runs[1].blockSize, 256);
    EXPECT_TRUE(sim.Serving());
}

TEST(SimPty, SlaveIsRawBeforeTheUpdaterOpensIt) {
    zsim::PtyCalculator sim;
    ASSERT_TRUE(sim.Start());
    const int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
}

TEST(SimPty, AnswersTheUpdaterDidNotReadDoNotLeakIntoTheNextRun) {
    zsim::PtyCalculator sim;
    ASSERT_TRUE(sim.Start());
    {
        PtyLink pc(sim.SlavePath());
        Handshake(pc, Script{});
        ASSERT_TRUE(pc.Write(RoleSwap()));
        const Bytes command = Cmd55();
        EXPECT_EQ(pc.Read(6), Bytes(command.begin(), command.begin() + 6));   // the rest stays unread
        pc.Send(Terminate04());
    }
    ASSERT_TRUE(sim.WaitForRuns(1));
    {
        PtyLink pc(sim.SlavePath());
        EXPECT_EQ(pc.Send(Check()), Ack());
        EXPECT_EQ(pc.Send(Probe()), Ack());
        pc.Send(Terminate04());
    }
    ASSERT_TRUE(sim.WaitForRuns(2));
    for (const auto& r : sim.Runs()) {
        EXPECT_EQ(r.ending, zsim::RunRecord::Ending::Terminate04);
        EXPECT_TRUE(r.violations.empty());
    }
}

// Opens `path` as an ordinary user would (root passes an exclusive lock, so a
// root test drops its privileges in a child first).
bool UnprivilegedOpenWorks(const std::string& path) {
    if (::geteuid() != 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) ::close(fd);
        return fd >= 0;
    }
    ::chmod(path.c_str(), 0666);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        ::_exit(fd >= 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SimPty, AnUpdaterThatLeftItsExclusiveLockDoesNotLockOutTheNextRun) {
    zsim::PtyCalculator sim;
    ASSERT_TRUE(sim.Start());
    {
        PtyLink pc(sim.SlavePath());
        ASSERT_TRUE(pc.IsOpen());
        const int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
        ::close(fd);   // closed without TIOCNXCL, as by a crashed updater
        EXPECT_EQ(pc.Send(Check()), Ack());
        pc.Send(Terminate04());
    }
    ASSERT_TRUE(sim.WaitForRuns(1));
    EXPECT_TRUE(UnprivilegedOpenWorks(sim.SlavePath()));
}

TEST(SimPty, HangUpClosesThePtyAndEndsServing) {
    zsim::Options options;
    options.fault = {zsim::FaultKind::HangUp, 1};
    zsim::PtyCalculator sim(options);
    ASSERT_TRUE(sim.Start());
    PtyLink pc(sim.SlavePath());
    EXPECT_EQ(pc.Send(Check()), Ack());
    ASSERT_TRUE(pc.Write(Probe()));
    EXPECT_TRUE(pc.Read(6).empty()) << "the updater sees the link end";
    ASSERT_TRUE(sim.WaitForRuns(1));
    EXPECT_EQ(sim.Runs()[0].ending, zsim::RunRecord::Ending::LinkLost);
    EXPECT_FALSE(sim.Serving());
    EXPECT_FALSE(sim.WaitForRuns(2, 100)) << "a hung-up calculator serves no further run";
}

}  // namespace
