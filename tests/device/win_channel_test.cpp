// SPDX-License-Identifier: GPL-3.0-or-later
// The channel on the Windows transport, over named pipes (opened by path, as
// a COM port is): exact reads through the 64-byte buffer, waits in slices
// that lose no byte, a peer that leaves, exclusive opens, paths refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device/transport.h"
#include "device/usb_channel.h"

namespace {

// The calculator's end of a pipe that the channel opens by name.
class PipePeer {
public:
    PipePeer()
    {
        static std::atomic<int> serial{0};
        m_name = "\\\\.\\pipe\\zentrix-channel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(serial++);
        m_pipe = CreateNamedPipeA(m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    }
    ~PipePeer() { Leave(); }

    const std::string& Name() const { return m_name; }
    bool Valid() const { return m_pipe != INVALID_HANDLE_VALUE; }

    void Send(const std::string& bytes)
    {
        DWORD put = 0;
        ASSERT_TRUE(WriteFile(m_pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
        ASSERT_EQ(put, bytes.size());
    }
    std::string Receive(size_t length)
    {
        std::string bytes(length, '\0');
        size_t done = 0;
        while (done < length) {
            DWORD got = 0;
            if (!ReadFile(m_pipe, bytes.data() + done, static_cast<DWORD>(length - done), &got, nullptr) || got == 0) {
                break;
            }
            done += got;
        }
        bytes.resize(done);
        return bytes;
    }
    void Leave()
    {
        if (m_pipe != INVALID_HANDLE_VALUE) {
            CloseHandle(m_pipe);
            m_pipe = INVALID_HANDLE_VALUE;
        }
    }

private:
    std::string m_name;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
};

// Counts its turns; ends the wait once the calculator has been silent for
// `stopAfterMs` (0: never).
class CountingWaiter : public IChannelWaiter {
public:
    explicit CountingWaiter(uint32_t stopAfterMs = 0) : m_stopAfterMs(stopAfterMs) {}
    bool KeepWaiting(const ChannelWait& wait) override
    {
        ++turns;
        longestSilenceMs = std::max(longestSilenceMs, wait.waitedMs);
        return m_stopAfterMs == 0 || wait.waitedMs <= m_stopAfterMs;
    }
    int turns = 0;
    uint32_t longestSilenceMs = 0;

private:
    uint32_t m_stopAfterMs;
};

std::unique_ptr<CUsbChannel> OpenOnPeer(const PipePeer& peer)
{
    auto channel = std::make_unique<CUsbChannel>();
    channel->m_closePauseMs = 0;
    EXPECT_EQ(channel->Open(peer.Name().c_str()), ChannelOk);
    return channel;
}

std::string ReadExactly(CUsbChannel& channel, uint32_t length, int& status)
{
    std::string bytes(length, '\0');
    uint32_t count = 0;
    status = channel.Read(reinterpret_cast<uint8_t*>(bytes.data()), length, count);
    bytes.resize(count);
    return bytes;
}

}  // namespace

TEST(WinChannel, ExactReadsComeThroughTheBufferAndWritesArriveWhole)
{
    PipePeer peer;
    ASSERT_TRUE(peer.Valid());
    auto channel = OpenOnPeer(peer);
    CountingWaiter waiter;
    channel->SetWaiter(&waiter);

    // Opened exclusively: a second channel on the same path is refused.
    CUsbChannel second;
    second.m_closePauseMs = 0;
    EXPECT_EQ(second.Open(peer.Name().c_str()), OpenFailed);
    EXPECT_EQ(channel->Open(peer.Name().c_str()), AlreadyOpen);

    const std::string packet = "\x05" "00AA";
    ASSERT_EQ(channel->Write(reinterpret_cast<const uint8_t*>(packet.data()), packet.size()), ChannelOk);
    EXPECT_EQ(peer.Receive(packet.size()), packet);

    // Ten bytes in one device read: six now, four from the buffer.
    peer.Send("0123456789");
    int status = -1;
    EXPECT_EQ(ReadExactly(*channel, 6, status), "012345");
    EXPECT_EQ(status, ChannelOk);
    EXPECT_EQ(channel->m_rxHeld - channel->m_rxTaken, 4u);
    EXPECT_EQ(ReadExactly(*channel, 4, status), "6789");
    EXPECT_EQ(status, ChannelOk);

    // More than the 64-byte buffer holds, in one Read.
    std::string block(1500, '\0');
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 7 + 3);
    }
    peer.Send(block);
    EXPECT_EQ(ReadExactly(*channel, block.size(), status), block);
    EXPECT_EQ(status, ChannelOk);

    // A write larger than the pipe holds completes while the peer drains it.
    const std::string big(300 * 1024, 'Z');
    std::string drained;
    std::thread drain([&] { drained = peer.Receive(big.size()); });
    EXPECT_EQ(channel->Write(reinterpret_cast<const uint8_t*>(big.data()), big.size()), ChannelOk);
    drain.join();
    EXPECT_EQ(drained, big);
    EXPECT_EQ(channel->Close(), ChannelOk);
    EXPECT_EQ(channel->Close(), NotOpen);
}

TEST(WinChannel, SilenceIsWaitedOutInSlicesWithoutLosingTheReadInFlight)
{
    PipePeer peer;
    ASSERT_TRUE(peer.Valid());
    auto channel = OpenOnPeer(peer);

    // The user ends the wait: the device read stays pending meanwhile.
    CountingWaiter impatient(150);
    channel->SetWaiter(&impatient);
    int status = -1;
    EXPECT_EQ(ReadExactly(*channel, 6, status), "");
    EXPECT_EQ(status, PumpStopped);
    EXPECT_GE(impatient.turns, 3);   // served every slice, not once at the end
    EXPECT_GT(impatient.longestSilenceMs, 150u);

    // What the calculator sends next is not lost to the abandoned wait.
    CountingWaiter patient;
    channel->SetWaiter(&patient);
    std::thread late([&] {
        Sleep(120);
        peer.Send("\x06" "00");
    });
    EXPECT_EQ(ReadExactly(*channel, 3, status), "\x06" "00");
    EXPECT_EQ(status, ChannelOk);
    late.join();
    EXPECT_GE(patient.turns, 2);

    // A limit on the whole read ends a silent wait as TimedOut.
    uint8_t reply[6];
    EXPECT_EQ(channel->ReadTimed(reply, sizeof reply, 120, 0), TimedOut);
    EXPECT_EQ(channel->Close(), ChannelOk);
}

// A peer that reads nothing: the pipe fills, the write waits in slices and
// the waiter ends it; a refused device's remedy speaks of Windows.
TEST(WinChannel, AWriteThePeerDoesNotTakeEndsAtTheWaiterAndRemediesAreWindowsOwn)
{
    PipePeer peer;
    ASSERT_TRUE(peer.Valid());
    auto channel = OpenOnPeer(peer);
    CountingWaiter impatient(300);
    channel->SetWaiter(&impatient);
    const std::string big(1 << 20, 'x');
    EXPECT_EQ(channel->Write(reinterpret_cast<const uint8_t*>(big.data()), static_cast<uint32_t>(big.size())),
              PumpStopped);
    EXPECT_GE(impatient.turns, 3);
    EXPECT_GT(impatient.longestSilenceMs, 300u);
    EXPECT_LT(impatient.longestSilenceMs, 3000u);
    channel->SetWaiter(nullptr);

    const std::string remedy = PermissionRemedy();
    EXPECT_EQ(remedy.find("udev"), std::string::npos) << remedy;
    EXPECT_EQ(remedy.find("dialout"), std::string::npos) << remedy;
    EXPECT_NE(remedy.find("Device Manager"), std::string::npos) << remedy;
}

TEST(WinChannel, APeerThatLeavesEndsTheReadAsALostLink)
{
    PipePeer peer;
    ASSERT_TRUE(peer.Valid());
    auto channel = OpenOnPeer(peer);
    CountingWaiter waiter;
    channel->SetWaiter(&waiter);
    peer.Send("\x06");
    std::thread leave([&] {
        Sleep(100);
        peer.Leave();
    });
    int status = -1;
    EXPECT_EQ(ReadExactly(*channel, 6, status), "\x06");
    EXPECT_EQ(status, IoError);
    EXPECT_EQ(channel->m_lastError, static_cast<uint32_t>(EPIPE));
    leave.join();
    const uint8_t byte = 0x05;
    EXPECT_EQ(channel->Write(&byte, 1), IoError);
    EXPECT_EQ(channel->Close(), IoError);
}

TEST(WinChannel, PathsThatNameNoDeviceAreRefusedUntouched)
{
    CUsbChannel channel;
    channel.m_closePauseMs = 0;
    EXPECT_EQ(channel.Open("\\\\.\\pipe\\zentrix-no-such-pipe"), OpenFailed);
    EXPECT_EQ(channel.m_lastError, static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(channel.Open(""), OpenFailed);

    // A regular file is never a calculator and is never written.
    char name[MAX_PATH] = {};
    char dir[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(sizeof dir, dir), 0u);
    ASSERT_NE(GetTempFileNameA(dir, "zx", 0, name), 0u);
    {
        std::ofstream(name, std::ios::binary) << "keep";
    }
    EXPECT_EQ(channel.Open(name), OpenFailed);
    EXPECT_FALSE(channel.IsOpen());
    std::ifstream in(name, std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    EXPECT_EQ(contents, "keep");
    DeleteFileA(name);
}
