// SPDX-License-Identifier: GPL-3.0-or-later
// The WinUSB transport under the channel, against a table of fake WinUSB
// functions with the packet rules of a real pipe: bulk IN delivers whole
// packets until a short one (a zero-length packet is a short one), a
// stalled pipe fails until it is reset, a removed device fails every call,
// and a pipe that takes no more data times out its writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "device/transport.h"
#include "device/usb_channel.h"
#include "device/winusb_transport.h"

namespace {

struct FakeUsb {
    USHORT packetSize = 64;
    std::deque<std::vector<uint8_t>> inPackets;   // what the device has ready
    std::string received;                          // what bulk OUT took
    size_t outLimit = SIZE_MAX;                    // bulk OUT takes no more than this in all
    bool inStalled = false;
    bool removed = false;
    bool driverMissing = false;
    int resets = 0;
    int frees = 0;
    ULONG timeoutMs = 0;
} g_fake;

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI FakeInitialize(HANDLE, PWINUSB_INTERFACE_HANDLE handle)
{
    if (g_fake.driverMissing) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    *handle = &g_fake;
    return TRUE;
}

BOOL WINAPI FakeFree(WINUSB_INTERFACE_HANDLE)
{
    ++g_fake.frees;
    return TRUE;
}

BOOL WINAPI FakeQueryInterfaceSettings(WINUSB_INTERFACE_HANDLE, UCHAR, PUSB_INTERFACE_DESCRIPTOR setting)
{
    *setting = {};
    setting->bNumEndpoints = 3;
    return TRUE;
}

BOOL WINAPI FakeQueryPipe(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR index, PWINUSB_PIPE_INFORMATION pipe)
{
    static const UCHAR kIds[] = {0x83, 0x81, 0x02};   // an interrupt pipe first, then the bulk pair
    *pipe = {};
    pipe->PipeType = index == 0 ? UsbdPipeTypeInterrupt : UsbdPipeTypeBulk;
    pipe->PipeId = kIds[index];
    pipe->MaximumPacketSize = g_fake.packetSize;
    return TRUE;
}

BOOL WINAPI FakeSetPipePolicy(WINUSB_INTERFACE_HANDLE, UCHAR, ULONG policy, ULONG, PVOID value)
{
    if (policy == PIPE_TRANSFER_TIMEOUT) {
        g_fake.timeoutMs = *static_cast<ULONG*>(value);
    }
    return TRUE;
}

BOOL WINAPI FakeReadPipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe, PUCHAR buffer, ULONG length, PULONG got, LPOVERLAPPED)
{
    *got = 0;
    EXPECT_EQ(pipe, 0x81);
    EXPECT_EQ(length % g_fake.packetSize, 0u);   // whole packets only
    if (g_fake.removed) {
        return Fail(ERROR_BAD_COMMAND);
    }
    if (g_fake.inStalled) {
        return Fail(ERROR_GEN_FAILURE);
    }
    if (g_fake.inPackets.empty()) {
        Sleep(g_fake.timeoutMs);
        return Fail(ERROR_SEM_TIMEOUT);
    }
    while (!g_fake.inPackets.empty()) {
        const std::vector<uint8_t> packet = g_fake.inPackets.front();
        g_fake.inPackets.pop_front();
        std::copy(packet.begin(), packet.end(), buffer + *got);
        *got += static_cast<ULONG>(packet.size());
        if (packet.size() < g_fake.packetSize || *got == length) {
            break;
        }
    }
    return TRUE;
}

BOOL WINAPI FakeWritePipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe, PUCHAR data, ULONG length, PULONG sent, LPOVERLAPPED)
{
    EXPECT_EQ(pipe, 0x02);
    *sent = 0;
    if (g_fake.removed) {
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    const size_t room = g_fake.outLimit - std::min(g_fake.outLimit, g_fake.received.size());
    // A pipe that NAKs takes what fits in this transfer's time, a packet at a time.
    const size_t taken = std::min<size_t>(length, room / g_fake.packetSize * g_fake.packetSize + (room < length ? 0 : room % g_fake.packetSize));
    g_fake.received.append(reinterpret_cast<const char*>(data), taken);
    *sent = static_cast<ULONG>(taken);
    if (taken < length) {
        Sleep(g_fake.timeoutMs);
        return Fail(ERROR_SEM_TIMEOUT);
    }
    return TRUE;
}

BOOL WINAPI FakeResetPipe(WINUSB_INTERFACE_HANDLE, UCHAR)
{
    ++g_fake.resets;
    g_fake.inStalled = false;
    return TRUE;
}

WinUsbApi FakeApi()
{
    WinUsbApi api;
    api.initialize = FakeInitialize;
    api.free = FakeFree;
    api.queryInterfaceSettings = FakeQueryInterfaceSettings;
    api.queryPipe = FakeQueryPipe;
    api.setPipePolicy = FakeSetPipePolicy;
    api.readPipe = FakeReadPipe;
    api.writePipe = FakeWritePipe;
    api.resetPipe = FakeResetPipe;
    return api;
}

// `reply` as the device sends it: whole packets, then a short one (a
// zero-length packet when the reply fills its last packet).
void Queue(const std::string& reply)
{
    for (size_t at = 0; at < reply.size(); at += g_fake.packetSize) {
        g_fake.inPackets.emplace_back(reply.begin() + static_cast<long>(at),
                                      reply.begin() + static_cast<long>(std::min(reply.size(), at + g_fake.packetSize)));
    }
    if (reply.size() % g_fake.packetSize == 0) {
        g_fake.inPackets.emplace_back();
    }
}

class StopAfter : public IChannelWaiter {
public:
    explicit StopAfter(uint32_t ms) : m_ms(ms) {}
    bool KeepWaiting(const ChannelWait& wait) override
    {
        lastWriting = wait.writing;
        return wait.waitedMs <= m_ms;
    }
    bool lastWriting = false;

private:
    uint32_t m_ms;
};

std::string Read(CUsbChannel& channel, uint32_t length, int& status)
{
    std::string bytes(length, '\0');
    uint32_t count = 0;
    status = channel.Read(reinterpret_cast<uint8_t*>(bytes.data()), length, count);
    bytes.resize(count);
    return bytes;
}

TEST(WinUsbTransport, PacketsStallsRemovalAndAPipeThatStopsTakingData)
{
    for (const USHORT packetSize : {USHORT(64), USHORT(512)}) {
        SCOPED_TRACE("packets of " + std::to_string(packetSize));
        g_fake = {};
        g_fake.packetSize = packetSize;
        CUsbChannel channel;
        channel.m_closePauseMs = 0;
        ASSERT_EQ(channel.OpenOn(CWinUsbTransport::Adopt(CWinHandle(), FakeApi())), ChannelOk);
        StopAfter waiter(300);
        channel.SetWaiter(&waiter);

        // A long reply in whole packets, a reply that fills its packets
        // exactly (then a zero-length packet), and a stray zero-length packet.
        const std::string longReply(1030, 'L');
        const std::string exact(packetSize, 'E');
        Queue(longReply);
        Queue(exact);
        g_fake.inPackets.emplace_back();
        Queue("\x06" "00070");
        int status = -1;
        EXPECT_EQ(Read(channel, 8, status), longReply.substr(0, 8));
        EXPECT_EQ(Read(channel, 1022, status), longReply.substr(8));
        EXPECT_EQ(Read(channel, packetSize, status), exact);
        EXPECT_EQ(Read(channel, 6, status), "\x06" "00070");
        EXPECT_EQ(status, ChannelOk);

        // Writes arrive whole; a pipe that stops taking data mid-write is a
        // wait the waiter ends, with what went before counted.
        const std::string block(1030, 'B');
        EXPECT_EQ(channel.Write(reinterpret_cast<const uint8_t*>(block.data()), 1030), ChannelOk);
        EXPECT_EQ(g_fake.received, block);
        g_fake.outLimit = g_fake.received.size() + 2u * packetSize;
        EXPECT_EQ(channel.Write(reinterpret_cast<const uint8_t*>(block.data()), 1030), PumpStopped);
        EXPECT_TRUE(waiter.lastWriting);
        EXPECT_EQ(g_fake.received.size(), 1030u + 2u * packetSize);
        EXPECT_LE(g_fake.timeoutMs, static_cast<uint32_t>(CUsbChannel::kPumpSliceMs));   // every transfer limited to a slice

        // A stalled pipe: the read fails as a broken link and the pipe is reset.
        channel.SetWaiter(nullptr);
        g_fake.inStalled = true;
        EXPECT_EQ(Read(channel, 6, status), "");
        EXPECT_EQ(status, IoError);
        EXPECT_EQ(channel.m_lastError, uint32_t(EPIPE));
        EXPECT_EQ(g_fake.resets, 1);

        // A removed device: every transfer is a lost link, at once.
        g_fake.removed = true;
        EXPECT_EQ(Read(channel, 6, status), "");
        EXPECT_EQ(channel.m_lastError, uint32_t(ENODEV));
        EXPECT_EQ(channel.Write(reinterpret_cast<const uint8_t*>("x"), 1), IoError);
        EXPECT_EQ(channel.m_lastError, uint32_t(ENODEV));
        channel.Close();
        EXPECT_EQ(g_fake.frees, 1);
    }

    // No WinUSB driver for the device: no transport, and the reason says so.
    g_fake = {};
    g_fake.driverMissing = true;
    errno = 0;
    EXPECT_EQ(CWinUsbTransport::Adopt(CWinHandle(), FakeApi()), nullptr);
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_NE(std::string(NoDriverReason()).find("WinUSB"), std::string::npos);
    EXPECT_TRUE(IsUsbInterfacePath("\\\\?\\USB#VID_1A2B&PID_5E01#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_FALSE(IsUsbInterfacePath("\\\\.\\COM3"));
}

}  // namespace
