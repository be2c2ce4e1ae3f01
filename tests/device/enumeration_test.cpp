// SPDX-License-Identifier: GPL-3.0-or-later
// Our enumeration library: what it offers from ZENTRIX_DEVICES and
// ZENTRIX_USB_IDS, and that every chain of calls ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <string>
#include <vector>

#include "device/device_listing.h"
#include "device/device_source.h"
#include "pty_pair.h"
#include "device/zrenum/device_lists.h"
#include "device/zrenum/zrenum.h"

namespace {

using Paths = std::vector<std::string>;

int g_scans = 0;
std::vector<UsbId> g_scannedIds;

// A bus with two matching calculators.
Paths FakeBus(const std::vector<UsbId>& ids)
{
    ++g_scans;
    g_scannedIds = ids;
    return {"usb:1:4", "usb:2:13"};
}

// Walks a chain from index 0, feeding every result back; stops after 100
// steps so that a chain that never ends fails the test instead of hanging it.
template <typename Step>
Paths Chain(Step step, int size = 260)
{
    Paths paths;
    std::vector<char> buffer(static_cast<size_t>(size));
    int index = 0;
    for (int steps = 0; steps < 100; ++steps) {
        const int next = step(index, buffer.data(), size);
        if (next < 0) {
            return paths;
        }
        EXPECT_GT(next, index) << "the chain must move on";
        paths.emplace_back(buffer.data());
        index = next;
    }
    ADD_FAILURE() << "the chain did not end";
    return paths;
}

Paths ChainOf(const char* devices, const char* ids, int size = 260)
{
    return Chain([&](int index, char* buf, int bufSize) { return EnumerateDevices(index, buf, bufSize, devices, ids, FakeBus); },
                 size);
}

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override { g_scans = 0; }
    void TearDown() override
    {
        unsetenv("ZENTRIX_DEVICES");
        unsetenv("ZENTRIX_USB_IDS");
    }
};

TEST_F(EnumerationTest, ListedPathsInOrder)
{
    EXPECT_EQ(ChainOf(nullptr, nullptr), Paths{});
    EXPECT_EQ(ChainOf("", ""), Paths{});
    EXPECT_EQ(ChainOf(";;;", nullptr), Paths{});
    EXPECT_EQ(ChainOf("/dev/ttyUSB0", nullptr), Paths{"/dev/ttyUSB0"});
    EXPECT_EQ(ChainOf(";/dev/pts/3;;/dev/ttyS0;", nullptr), (Paths{"/dev/pts/3", "/dev/ttyS0"}));
    EXPECT_EQ(ChainOf("b;a;b", nullptr), (Paths{"b", "a", "b"}));
    EXPECT_EQ(ChainOf(" spaced name ", nullptr), Paths{" spaced name "});
    EXPECT_EQ(g_scans, 0);
}

// A path too long for the buffer is an error for that entry: it is handed
// out as the empty path, which no open can take for a device. Cutting it
// could name another device; skipping it would update the next one instead.
TEST_F(EnumerationTest, PathsThatDoNotFitAreHandedOutEmptyNeverCutOrSkipped)
{
    // 8 bytes hold 7 characters and the zero byte.
    EXPECT_EQ(ChainOf("1234567;12345678;abc", nullptr, 8), (Paths{"1234567", "", "abc"}));
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(EnumerateDevices(1, buffer, 8, "1234567;12345678;abc", nullptr, FakeBus), 2);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(std::string(buffer + 1, 7), "#######");   // nothing cut into the buffer
    EXPECT_EQ(ChainOf("toolongpath;evenlongerpath", nullptr, 8), (Paths{"", ""}));
    EXPECT_EQ(ChainOf("a;b", nullptr, 1), (Paths{"", ""}));

    // The buffer the update run uses: 259 characters fit, 260 do not.
    const std::string fits(259, 'p');
    const std::string longer = "/dev/" + std::string(255, 'x');
    EXPECT_EQ(ChainOf((fits + ";" + longer + ";/dev/next").c_str(), nullptr), (Paths{fits, "", "/dev/next"}));

    // Through the library's enumeration step as well.
    setenv("ZENTRIX_DEVICES", (longer + ";/dev/next").c_str(), 1);
    unsetenv("ZENTRIX_USB_IDS");
    char path[260];
    std::memset(path, '#', sizeof path);
    EXPECT_EQ(ZrEnumUsbA(0, path, 260), 1);
    EXPECT_STREQ(path, "");
    EXPECT_EQ(Chain(ZrEnumUsbA), (Paths{"", "/dev/next"}));
}

TEST_F(EnumerationTest, OutOfRangeArgumentsEndTheChain)
{
    char buffer[16];
    EXPECT_EQ(EnumerateDevices(-1, buffer, 16, "a", nullptr, FakeBus), -1);
    EXPECT_EQ(EnumerateDevices(-7, buffer, 16, "a", nullptr, FakeBus), -1);
    EXPECT_EQ(EnumerateDevices(1, buffer, 16, "a", nullptr, FakeBus), -1);
    EXPECT_EQ(EnumerateDevices(2147483647, buffer, 16, "a", "1234:5678", FakeBus), -1);
    EXPECT_EQ(EnumerateDevices(0, nullptr, 16, "a", nullptr, FakeBus), -1);
    EXPECT_EQ(EnumerateDevices(0, buffer, 0, "a", nullptr, FakeBus), -1);
    EXPECT_EQ(EnumerateDevices(0, buffer, -5, "a", nullptr, FakeBus), -1);
}

TEST_F(EnumerationTest, UsbDevicesFollowTheListedPaths)
{
    EXPECT_EQ(ChainOf("/dev/ttyS0", "1234:abcd"), (Paths{"/dev/ttyS0", "usb:1:4", "usb:2:13"}));
    EXPECT_EQ(ChainOf(nullptr, "1234:abcd"), (Paths{"usb:1:4", "usb:2:13"}));
    EXPECT_EQ(ChainOf("a;toolongpath", "1234:ABCD", 8), (Paths{"a", "", "usb:1:4", ""}));   // usb:2:13 does not fit

    // The bus is looked at only once the listed paths are used up.
    g_scans = 0;
    char buffer[32];
    EXPECT_EQ(EnumerateDevices(0, buffer, 32, "a;b", "1234:abcd", FakeBus), 1);
    EXPECT_EQ(g_scans, 0);
    EXPECT_EQ(EnumerateDevices(3, buffer, 32, "a;b", "1234:abcd", FakeBus), 4);
    EXPECT_STREQ(buffer, "usb:2:13");
    EXPECT_EQ(g_scans, 1);
}

TEST_F(EnumerationTest, UsbIdList)
{
    const std::vector<UsbId> ids = ParseUsbIds(" 1234:abcd,0BAD:F00D ,xyz,12345:1,12:34,,1234:567g,1234-5678,:,ffff:0000");
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0].vendor, 0x1234);
    EXPECT_EQ(ids[0].product, 0xabcd);
    EXPECT_EQ(ids[1].vendor, 0x0bad);
    EXPECT_EQ(ids[1].product, 0xf00d);
    EXPECT_EQ(ids[2].vendor, 0xffff);
    EXPECT_EQ(ids[2].product, 0x0000);

    // No well-formed ID: the bus is never touched.
    EXPECT_EQ(ChainOf("a", ""), Paths{"a"});
    EXPECT_EQ(ChainOf("a", "nonsense,12:34"), Paths{"a"});
    EXPECT_EQ(g_scans, 0);
    ChainOf(nullptr, "nonsense,0001:0002");
    ASSERT_EQ(g_scannedIds.size(), 1u);
    EXPECT_EQ(g_scannedIds[0].product, 2);
}

TEST_F(EnumerationTest, TheLibraryReadsTheEnvironment)
{
    setenv("ZENTRIX_DEVICES", "/dev/calc-a;;/dev/calc-b", 1);
    unsetenv("ZENTRIX_USB_IDS");
    EXPECT_EQ(Chain(ZrEnumUsbA), (Paths{"/dev/calc-a", "/dev/calc-b"}));
    DeviceChoice same;   // the program's own look, at the lists start-up made of it
    same.paths = {"/dev/calc-a", "/dev/calc-b"};
    CSystemDeviceSource system(same);
    const auto step = [&system](int index, char* buffer, int size) {
        return system.EnumerateDevicePath(index, buffer, size);
    };
    EXPECT_EQ(Chain(step), (Paths{"/dev/calc-a", "/dev/calc-b"}));

    // An ID that no device has: the real bus scan (or no bus at all) ends the chain.
    setenv("ZENTRIX_USB_IDS", "fffe:fffd", 1);
    EXPECT_EQ(Chain(ZrEnumUsbA), (Paths{"/dev/calc-a", "/dev/calc-b"}));

    unsetenv("ZENTRIX_DEVICES");
    unsetenv("ZENTRIX_USB_IDS");
    char buffer[260];
    EXPECT_LT(ZrEnumUsbA(0, buffer, 260), 0);
}

// What --list-devices says of each kind of listed path: only a device or
// a socket may be opened, and a port another program holds is in use.
TEST_F(EnumerationTest, EachListedPathGetsAnHonestVerdict)
{
    char folderTemplate[] = "/tmp/zentrix-listing-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    PtyPair freePort;
    PtyPair heldPort;
    const int holder = open(heldPort.SlavePath(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    const std::string socketPath = folder + "/sock";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::FILE* file = std::fopen((folder + "/file").c_str(), "w");
    std::fclose(file);
    ASSERT_EQ(mkdir((folder + "/dir").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((folder + "/fifo").c_str(), 0600), 0);

    const std::vector<std::pair<std::string, std::string>> table = {
        {freePort.SlavePath(), "may open: yes"},
        {socketPath, "may open: yes"},
        {heldPort.SlavePath(), "may open: no (in use by another program)"},
        {folder + "/file", "may open: no (not a device)"},
        {folder + "/dir", "may open: no (not a device)"},
        {folder + "/fifo", "may open: no (not a device)"},
        {folder + "/missing", "may open: no (No such file or directory)"},
    };
    DeviceChoice listed;
    for (const auto& [path, verdict] : table) {
        listed.paths.push_back(path);
    }
    const std::vector<ListedDevice> devices = ListOfferedDevices(listed);
    ASSERT_EQ(devices.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(FormatListedDevice(devices[i]).English(), table[i].first + "  " + table[i].second);
    }
    // Listing took nothing: the free port is still free, the held one held.
    const int probe = open(freePort.SlavePath(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0);
    close(probe);
    const int second = open(heldPort.SlavePath(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_NE(flock(second, LOCK_EX | LOCK_NB), 0);
    close(second);
    close(holder);
    close(listener);
    std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

// The serial ports a chooser offers: the stable names of /dev/serial/by-id
// first (only those leading to a cable's port that is there), then the
// ports no such name leads to.
TEST(SerialPorts, StableNamesFirstThenThePortsTheyDoNotName)
{
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/zentrix-dev-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dev(pattern);
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "null"}) {
        std::ofstream(dev / name).put('x');
    }
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink("../../ttyUSB1", dev / "serial" / "by-id" / "usb-Zentrix_Link_A1-if00-port0");
    fs::create_symlink("../../ttyS0", dev / "serial" / "by-id" / "pci-console");        // not a cable's port
    fs::create_symlink("../../ttyUSB9", dev / "serial" / "by-id" / "usb-Gone-if00-port0");   // leads nowhere

    EXPECT_EQ(ListSerialPorts(dev.string()),
              (std::vector<std::string>{(dev / "serial/by-id/usb-Zentrix_Link_A1-if00-port0").string(),
                                        (dev / "ttyACM0").string(), (dev / "ttyUSB0").string()}));
    fs::remove_all(dev / "serial");
    EXPECT_EQ(ListSerialPorts(dev.string()), (std::vector<std::string>{(dev / "ttyACM0").string(),
                                                                        (dev / "ttyUSB0").string(),
                                                                        (dev / "ttyUSB1").string()}));
    fs::remove_all(dev);
}

}  // namespace
