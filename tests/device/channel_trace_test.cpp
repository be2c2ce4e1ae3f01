// SPDX-License-Identifier: GPL-3.0-or-later
// The ZENTRIX_TRACE record of a channel session.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <cctype>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device/fd_transport.h"
#include "pty_pair.h"

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zentrix-trace-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path = name;
        std::filesystem::remove(path);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        PrepareForTest(channel);
    }
    void TearDown() override
    {
        unsetenv("ZENTRIX_TRACE");
        channel.Close();
        close(fds[1]);
        std::filesystem::remove(path);
    }

    // One exchange: "AB\x05" written, "OK\x06\xFF" read.
    void Exchange()
    {
        ASSERT_EQ(channel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);
        ASSERT_EQ(channel.Write(Bytes("AB\x05"), 3), ChannelOk);
        ASSERT_EQ(write(fds[1], "OK\x06\xFF", 4), 4);
        uint8_t reply[4];
        uint32_t count = 0;
        ASSERT_EQ(channel.Read(reply, 4, count), ChannelOk);
    }

    std::string Contents() const
    {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // The lines after `skip` lines, each split into timestamp and the rest.
    std::vector<std::pair<std::string, std::string>> Lines(size_t skip) const
    {
        std::vector<std::pair<std::string, std::string>> lines;
        std::stringstream text(Contents());
        std::string line;
        for (size_t i = 0; std::getline(text, line); ++i) {
            if (i >= skip) {
                const size_t split = std::min(kStamp.size(), line.size());
                lines.emplace_back(line.substr(0, split), line.substr(split));
            }
        }
        return lines;
    }

    // Local time to the millisecond, e.g. 2026-12-07 09:55:46.123.
    static bool IsTimestamp(const std::string& text)
    {
        if (text.size() != kStamp.size()) {
            return false;
        }
        for (size_t i = 0; i < text.size(); ++i) {
            const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
            if (kStamp[i] == '0' ? !digit : text[i] != kStamp[i]) {
                return false;
            }
        }
        return true;
    }

    static inline const std::string kStamp = "0000-00-00 00:00:00.000";
    std::string path;
    int fds[2] = {-1, -1};
    CUsbChannel channel;
};

TEST_F(TraceTest, EveryWriteAndDeviceReadIsOneLine)
{
    {
        std::ofstream earlier(path);
        earlier << "earlier session\n";
    }
    setenv("ZENTRIX_TRACE", path.c_str(), 1);
    Exchange();
    channel.Close();

    EXPECT_EQ(Contents().rfind("earlier session\n", 0), 0u);   // appended, not replaced
    const auto lines = Lines(1);
    ASSERT_EQ(lines.size(), 2u) << Contents();
    EXPECT_TRUE(IsTimestamp(lines[0].first)) << lines[0].first;
    EXPECT_EQ(lines[0].second, " > 41 42 05  AB.");
    EXPECT_TRUE(IsTimestamp(lines[1].first)) << lines[1].first;
    EXPECT_EQ(lines[1].second, " < 4F 4B 06 FF  OK..");
}

TEST_F(TraceTest, NothingIsWrittenWithoutTheVariableAtOpen)
{
    unsetenv("ZENTRIX_TRACE");
    ASSERT_EQ(channel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);
    setenv("ZENTRIX_TRACE", path.c_str(), 1);   // too late: read once at Open
    ASSERT_EQ(channel.Write(Bytes("AB"), 2), ChannelOk);
    channel.Close();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(TraceTest, ANewTraceFileIsPrivate)
{
    const mode_t oldMask = umask(022);
    setenv("ZENTRIX_TRACE", path.c_str(), 1);
    Exchange();
    umask(oldMask);
    EXPECT_EQ(channel.TraceFailure(), "");
    struct stat info = {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// The trace is written only into a regular file reached without a link: a
// link is never followed (its target is neither appended to nor created), a
// FIFO is never written or waited on. The session goes on without a trace
// and the failure is there to report.
TEST_F(TraceTest, OnlyARegularFileReachedWithoutALinkIsTraced)
{
    const std::string target = path + ".target";
    const std::string link = path + ".link";
    const std::string dangling = path + ".dangling";
    const std::string fifo = path + ".fifo";
    const std::string lonelyFifo = path + ".lonely-fifo";
    {
        std::ofstream(target) << "root's file\n";
    }
    std::filesystem::create_symlink(target, link);
    std::filesystem::create_symlink(path + ".created-through-link", dangling);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(lonelyFifo.c_str(), 0600), 0);
    const int fifoReader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);   // a writer could open it
    ASSERT_GE(fifoReader, 0);

    const std::pair<std::string, std::string> cases[] = {
        {link, "Too many levels of symbolic links"},
        {dangling, "Too many levels of symbolic links"},
        {fifo, "not a regular file"},
        {lonelyFifo, "No such device or address"},
        {path + ".missing-directory/trace", "No such file or directory"},
    };
    close(fds[0]);
    close(fds[1]);
    for (const auto& [tracePath, reason] : cases) {
        SCOPED_TRACE(tracePath);
        setenv("ZENTRIX_TRACE", tracePath.c_str(), 1);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        // Hang guard: a writer's open that waits for a reader is released by one.
        auto exchange = std::async(std::launch::async, [this] { Exchange(); });
        if (exchange.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "opening the trace waited";
            while (exchange.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
                const int reader = open(tracePath.c_str(), O_RDONLY | O_NONBLOCK);
                if (reader >= 0) {
                    close(reader);
                }
            }
        }
        exchange.get();
        EXPECT_EQ(channel.TraceFailure(), "cannot open trace file " + tracePath + ": " + reason);
        channel.Close();
        close(fds[1]);
    }
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);   // for TearDown

    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "root's file\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".created-through-link"));
    char byte = 0;
    EXPECT_LE(read(fifoReader, &byte, 1), 0) << "nothing written into the FIFO";
    close(fifoReader);
    for (const std::string& made : {target, link, dangling, fifo, lonelyFifo}) {
        std::filesystem::remove(made);
    }

    // The next session with a usable path traces again and forgets the failure.
    setenv("ZENTRIX_TRACE", path.c_str(), 1);
    Exchange();
    EXPECT_EQ(channel.TraceFailure(), "");
    channel.Close();
    EXPECT_EQ(Lines(0).size(), 2u);
}

TEST_F(TraceTest, LongWritesStayOnOneLine)
{
    setenv("ZENTRIX_TRACE", path.c_str(), 1);
    ASSERT_EQ(channel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);
    const std::string packet(300, 'Q');
    ASSERT_EQ(channel.Write(Bytes(packet), 300), ChannelOk);
    channel.Close();

    const std::string text = Contents();
    std::string hex;
    for (int i = 0; i < 300; ++i) {
        hex += " 51";
    }
    EXPECT_NE(text.find(" >" + hex + "  " + packet + "\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

}  // namespace
