// SPDX-License-Identifier: GPL-3.0-or-later
// The channel over pty pairs (the master side plays the calculator) and
// socket pairs.
#include "device/usb_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <chrono>
#include <thread>

#include "device/fd_transport.h"
#include "pty_pair.h"

namespace {

// The pump of the test: counts its calls and answers what the script says.
int g_pumpCalls = 0;
std::function<int(int call)> g_pumpScript;

int ScriptedPump(uint32_t)
{
    ++g_pumpCalls;
    return g_pumpScript ? g_pumpScript(g_pumpCalls) : 1;
}

// Counts the device reads a channel starts.
class CountingTransport : public CTransport {
public:
    CountingTransport(std::unique_ptr<CTransport> inner, int& reads) : m_inner(std::move(inner)), m_reads(reads) {}
    TransportWrite WriteSome(const uint8_t* data, uint32_t length, int waitMs) override
    {
        return m_inner->WriteSome(data, length, waitMs);
    }
    bool InputWaiting() override { return m_inner->InputWaiting(); }
    TransportRead ReadSome(uint8_t* buffer, uint32_t capacity, int waitMs) override
    {
        ++m_reads;
        return m_inner->ReadSome(buffer, capacity, waitMs);
    }

private:
    std::unique_ptr<CTransport> m_inner;
    int& m_reads;
};

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        g_pumpCalls = 0;
        g_pumpScript = nullptr;
        PrepareForTest(channel);
        channel.SetPump(ScriptedPump, 0);
    }

    std::string ReadString(uint32_t length, int expectedStatus = ChannelOk)
    {
        std::string text(length, '\0');
        uint32_t count = 0;
        EXPECT_EQ(channel.Read(reinterpret_cast<uint8_t*>(text.data()), length, count), expectedStatus);
        text.resize(count);
        return text;
    }

    PtyPair pty;
    CUsbChannel channel;
};

TEST_F(ChannelTest, OneDeviceReadServesTwoReads)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    ASSERT_TRUE(pty.Send("0123456789"));

    EXPECT_EQ(ReadString(6), "012345");
    EXPECT_EQ(g_pumpCalls, 2);   // before the read, after the device read
    EXPECT_EQ(channel.m_rxHeld, 10u);
    EXPECT_EQ(channel.m_rxTaken, 6u);

    EXPECT_EQ(ReadString(4), "6789");
    EXPECT_EQ(g_pumpCalls, 3);   // only the call before the read: no device read
    EXPECT_EQ(channel.m_rxHeld, 0u);
    EXPECT_EQ(channel.m_rxTaken, 0u);
    for (uint8_t byte : channel.m_rxBuf) {
        ASSERT_EQ(byte, 0);
    }
}

// Straight after a reply, bytes that came with it are seen as waiting; once
// something is written, the device itself is asked again.
TEST_F(ChannelTest, BytesPastAReplyAreSeenRightAfterIt)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    for (const auto& [sent, spare] : {std::pair{"ACK", false}, std::pair{"ACKACK", true}}) {
        SCOPED_TRACE(sent);
        ASSERT_TRUE(pty.Send(sent));
        EXPECT_EQ(ReadString(3), "ACK");
        EXPECT_EQ(channel.InputWaitingAfterReply(), spare);
        uint8_t stray[8] = {};
        channel.TakeWaiting(stray, sizeof stray);
    }
    ASSERT_EQ(channel.Write(Bytes("ask"), 3), ChannelOk);
    ASSERT_TRUE(pty.Send("late"));
    EXPECT_TRUE(channel.InputWaitingAfterReply());
}

TEST_F(ChannelTest, SocketPairReadsFromHeldBytesWithoutDeviceRead)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    int deviceReads = 0;
    ASSERT_EQ(channel.OpenOn(std::make_unique<CountingTransport>(CFdTransport::Adopt(fds[0]), deviceReads)),
              ChannelOk);
    ASSERT_EQ(write(fds[1], "abcdefghij", 10), 10);

    EXPECT_EQ(ReadString(6), "abcdef");
    const int readsAfterFirst = deviceReads;
    EXPECT_EQ(ReadString(4), "ghij");
    EXPECT_EQ(deviceReads, readsAfterFirst);
    close(fds[1]);
}

TEST_F(ChannelTest, PumpStopsReadBeforeAnyDeviceRead)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    ASSERT_TRUE(pty.Send("HELLO"));
    g_pumpScript = [](int) { return 0; };
    EXPECT_EQ(ReadString(5, PumpStopped), "");
    EXPECT_EQ(channel.m_rxHeld, 0u);   // nothing was taken from the device

    g_pumpScript = nullptr;
    EXPECT_EQ(ReadString(5), "HELLO");
}

TEST_F(ChannelTest, PumpStopsReadAfterPartialDelivery)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);

    // Stopped right after the device read: the bytes stay held.
    ASSERT_TRUE(pty.Send("abc"));
    g_pumpScript = [](int call) { return call == 2 ? 0 : 1; };
    EXPECT_EQ(ReadString(8, PumpStopped), "");
    EXPECT_EQ(channel.m_rxHeld, 3u);

    // Stopped while waiting for the rest: what was handed over is counted.
    g_pumpCalls = 0;
    g_pumpScript = [](int call) { return call == 1 ? 1 : 0; };
    EXPECT_EQ(ReadString(8, PumpStopped), "abc");

    g_pumpScript = nullptr;
    ASSERT_TRUE(pty.Send("d"));
    EXPECT_EQ(ReadString(1), "d");
}

TEST_F(ChannelTest, PumpIsServedWhileTheDeviceIsSilent)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    // The calculator answers only once the user interface has had three turns.
    g_pumpScript = [this](int call) {
        if (call == 3) {
            pty.Send("late");
        }
        return 1;
    };
    EXPECT_EQ(ReadString(4), "late");
    EXPECT_GE(g_pumpCalls, 3);
}

TEST_F(ChannelTest, PumpStopsAReadThatWaitsWithoutLimit)
{
    channel.m_overallTimeoutMs = 0;
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    g_pumpScript = [](int call) { return call < 5 ? 1 : 0; };
    EXPECT_EQ(ReadString(1, PumpStopped), "");
    EXPECT_EQ(g_pumpCalls, 5);
}

TEST_F(ChannelTest, TimedReadsEndOnASilentDevice)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    uint8_t buffer[8];
    EXPECT_EQ(channel.ReadTimed(buffer, 4, 120, 0), TimedOut);
    EXPECT_EQ(channel.m_overallTimeoutMs, 120u);   // kept for later reads
    EXPECT_EQ(channel.m_interCharTimeoutMs, 0u);

    // Inter-character limit: two bytes, then silence.
    ASSERT_TRUE(pty.Send("xy"));
    EXPECT_EQ(channel.ReadTimed(buffer, 4, 0, 80), TimedOut);
    EXPECT_EQ(std::memcmp(buffer, "xy", 2), 0);

    // A timeout loses nothing: bytes that come later are read in order.
    ASSERT_TRUE(pty.Send("z"));
    channel.m_overallTimeoutMs = 10000;
    EXPECT_EQ(ReadString(1), "z");
}

TEST_F(ChannelTest, OpenAndCloseStatuses)
{
    EXPECT_EQ(channel.Close(), NotOpen);
    EXPECT_EQ(channel.Open("/nonexistent/zentrix-device"), OpenFailed);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.Open(""), OpenFailed);

    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    EXPECT_EQ(channel.Open(pty.SlavePath()), AlreadyOpen);
    EXPECT_EQ(channel.Write(Bytes("ping"), 4), ChannelOk);
    EXPECT_EQ(pty.Receive(4), "ping");
    EXPECT_EQ(channel.Close(), ChannelOk);
    EXPECT_EQ(channel.Close(), NotOpen);

    EXPECT_EQ(channel.Write(Bytes("x"), 1), IoError);   // closed
    EXPECT_EQ(CUsbChannel().m_closePauseMs, 500u);
}

TEST_F(ChannelTest, SecondOpenOfTheSameTerminalFails)
{
    struct termios before = {};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &before), 0);
    before.c_lflag |= ICANON | ECHO;   // a cooked line, as a terminal is usually found
    before.c_cc[VMIN] = 1;
    before.c_cc[VTIME] = 0;
    ASSERT_EQ(tcsetattr(pty.SlaveFd(), TCSANOW, &before), 0);
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();

    auto first = std::make_unique<CUsbChannel>();
    PrepareForTest(*first);
    ASSERT_EQ(first->Open(pty.SlavePath()), ChannelOk);
    struct termios during = {};
    tcgetattr(pty.SlaveFd(), &during);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);

    auto second = std::make_unique<CUsbChannel>();
    PrepareForTest(*second);
    EXPECT_EQ(second->Open(pty.SlavePath()), OpenFailed);

    // Destroying the open channel closes it: the device is free again and
    // the line is given back as it was found.
    first.reset();
    EXPECT_EQ(second->Open(pty.SlavePath()), ChannelOk);
    second.reset();
    struct termios after = {};
    tcgetattr(pty.SlaveFd(), &after);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), ICANON | ECHO);
    EXPECT_EQ(after.c_cc[VMIN], 1);
    EXPECT_EQ(after.c_cc[VTIME], 0);
    EXPECT_EQ(openFiles(), filesBefore);   // every descriptor of the line closed with it
}

// A device path names a character device or a socket; any other file is
// refused before a byte could be written to it, through a link too.
TEST_F(ChannelTest, OnlyCharacterDevicesAndSocketsAreOpened)
{
    char dirName[] = "/tmp/zentrix-paths-XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::filesystem::path dir = dirName;
    const std::string notes = "notes that must survive\n";
    {
        std::ofstream(dir / "notes.txt") << notes;
    }
    std::filesystem::create_symlink(dir / "notes.txt", dir / "link-to-notes");
    std::filesystem::create_symlink(pty.SlavePath(), dir / "link-to-tty");   // as under /dev/serial/by-id
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "directory");
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir / "socket").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    const std::pair<std::string, int> cases[] = {
        {(dir / "notes.txt").string(), OpenFailed},
        {(dir / "link-to-notes").string(), OpenFailed},
        {(dir / "fifo").string(), OpenFailed},
        {(dir / "directory").string(), OpenFailed},
        {(dir / "missing").string(), OpenFailed},
        {(dir / "link-to-tty").string(), ChannelOk},
        {socketPath, ChannelOk},
    };
    for (const auto& [path, status] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(channel.Open(path.c_str()), status);
        if (channel.IsOpen()) {
            EXPECT_EQ(channel.Write(Bytes("ping"), 4), ChannelOk);
            channel.Close();
        }
    }
    std::ifstream in(dir / "notes.txt");
    const std::string after{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(after, notes);
    EXPECT_EQ(pty.Receive(4), "ping");
    const int accepted = accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    char got[4] = {};
    EXPECT_EQ(read(accepted, got, 4), 4);
    EXPECT_EQ(std::string(got, 4), "ping");
    close(accepted);
    close(listener);
    std::filesystem::remove_all(dir);
}

TEST_F(ChannelTest, HangUpIsAnIoErrorUntilClose)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    pty.CloseMaster();
    EXPECT_EQ(ReadString(1, IoError), "");
    EXPECT_NE(channel.m_lastError, 0u);
    EXPECT_EQ(channel.Write(Bytes("x"), 1), IoError);
    EXPECT_EQ(channel.m_lastError, static_cast<uint32_t>(EIO));
    EXPECT_EQ(channel.Close(), IoError);
}

TEST_F(ChannelTest, SocketPeerThatLeavesAfterSending)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ASSERT_EQ(channel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);
    ASSERT_EQ(write(fds[1], "AB", 2), 2);
    close(fds[1]);

    EXPECT_EQ(ReadString(2), "AB");   // sent before the hang-up: still delivered
    EXPECT_EQ(ReadString(1, IoError), "");
    EXPECT_EQ(channel.Write(Bytes("x"), 1), IoError);   // and no SIGPIPE
    EXPECT_EQ(channel.m_lastError, static_cast<uint32_t>(EPIPE));
    EXPECT_EQ(channel.Close(), IoError);
}

TEST_F(ChannelTest, LargeTransfersArriveWholeAndInOrder)
{
    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    std::string image(70000, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    // Far more than the pty holds: the write has to wait for the reader.
    std::string received;
    std::thread calculator([&] { received = pty.Receive(image.size()); });
    EXPECT_EQ(channel.Write(Bytes(image), static_cast<uint32_t>(image.size())), ChannelOk);
    calculator.join();
    EXPECT_TRUE(received == image);

    // Back again, read in odd pieces through the reader interface.
    std::string echoed;
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    CUsbChannel socketChannel;
    PrepareForTest(socketChannel);
    ASSERT_EQ(socketChannel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);
    std::thread peer([&] {
        for (size_t sent = 0; sent < image.size();) {
            const ssize_t n = write(fds[1], image.data() + sent, std::min<size_t>(1000, image.size() - sent));
            if (n <= 0) {
                break;
            }
            sent += static_cast<size_t>(n);
        }
    });
    CPacketReader& reader = socketChannel;
    const uint32_t pieces[] = {1, 7, 63, 64, 65, 200, 4096, 1023};
    uint8_t buffer[4096];
    for (size_t i = 0; echoed.size() < image.size(); ++i) {
        const uint32_t want = std::min<uint32_t>(pieces[i % 8], static_cast<uint32_t>(image.size() - echoed.size()));
        uint32_t count = 0;
        ASSERT_EQ(reader.Read(buffer, want, count), ChannelOk);
        ASSERT_EQ(count, want);
        echoed.append(reinterpret_cast<char*>(buffer), count);
    }
    peer.join();
    close(fds[1]);
    EXPECT_TRUE(echoed == image);
}

TEST_F(ChannelTest, PumpInstallationAndWritePumped)
{
    EXPECT_EQ(CUsbChannel().m_pump, &DefaultPump);
    EXPECT_EQ(DefaultPump(0), 1);

    EXPECT_EQ(channel.SetPump(nullptr, 9), &ScriptedPump);
    EXPECT_EQ(channel.m_pump, &DefaultPump);
    EXPECT_EQ(channel.m_pumpData, 9u);
    EXPECT_EQ(channel.SetPump(ScriptedPump, 4), &DefaultPump);

    ASSERT_EQ(channel.Open(pty.SlavePath()), ChannelOk);
    g_pumpScript = [](int) { return 0; };
    EXPECT_EQ(channel.WritePumped(Bytes("go"), 2), PumpStopped);   // written, then stopped
    EXPECT_EQ(pty.Receive(2), "go");
    EXPECT_EQ(g_pumpCalls, 1);
    EXPECT_EQ(channel.m_pump, &ScriptedPump);
    EXPECT_EQ(channel.m_pumpData, 4u);
}

// The waiter hears how long the calculator has been waited for since the
// request, in reads and in writes: bytes that trickle in do not start the
// wait over, and a write the calculator does not take is a wait like silence.
TEST_F(ChannelTest, EveryWaitIsCountedFromTheRequestAndTheWaiterCanEndIt)
{
    struct Waiter : IChannelWaiter {
        bool KeepWaiting(const ChannelWait& wait) override
        {
            waits.push_back(wait);
            return wait.waitedMs <= limitMs;
        }
        uint32_t limitMs = 300;
        std::vector<ChannelWait> waits;
    } waiter;
    channel.SetWaiter(&waiter);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ASSERT_EQ(channel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);

    // A reply that trickles, one byte every 60 ms, never completes in time.
    ASSERT_EQ(channel.Write(Bytes("ask"), 3), ChannelOk);
    std::thread trickle([&] {
        for (const char byte : std::string("slow")) {
            ASSERT_EQ(write(fds[1], &byte, 1), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    });
    EXPECT_EQ(ReadString(8, PumpStopped), "slow");
    trickle.join();
    ASSERT_FALSE(waiter.waits.empty());
    EXPECT_GT(waiter.waits.back().waitedMs, 300u);
    EXPECT_FALSE(waiter.waits.back().writing);

    // A peer that reads nothing: the write fills the line, then waits in
    // slices and is ended by the waiter, with what went before it traced.
    waiter.waits.clear();
    const std::string big(4 << 20, 'x');
    EXPECT_EQ(channel.Write(Bytes(big.c_str()), static_cast<uint32_t>(big.size())), PumpStopped);
    ASSERT_GE(waiter.waits.size(), 2u);
    EXPECT_TRUE(waiter.waits.back().writing);
    EXPECT_GT(waiter.waits.back().waitedMs, 300u);
    EXPECT_LT(waiter.waits.back().waitedMs, 2000u);

    // Bytes nobody asked for are seen without waiting and can be taken.
    EXPECT_FALSE(channel.InputWaiting());
    ASSERT_EQ(write(fds[1], "spare", 5), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(channel.InputWaiting());
    uint8_t stray[8] = {};
    EXPECT_EQ(channel.TakeWaiting(stray, sizeof stray), 5u);
    EXPECT_FALSE(channel.InputWaiting());
    channel.SetWaiter(nullptr);
    close(fds[1]);
}

}  // namespace
