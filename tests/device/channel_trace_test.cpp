// SPDX-License-Identifier: GPL-3.0-or-later
// The trace of a channel session (the file ZENTRIX_TRACE names).
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
#include <regex>

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
        channel.Close();
        close(fds[1]);
        std::filesystem::remove(path);
    }

    // The channel's next session traced to `file` (empty: not traced).
    void TraceTo(const std::string& file)
    {
        TraceSubject subject;
        subject.tracePath = file;
        channel.SetTraceSubject(subject);
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

    // The lines after `skip` lines, each split into the time and the rest.
    std::vector<std::pair<std::string, std::string>> Lines(size_t skip) const
    {
        std::vector<std::pair<std::string, std::string>> lines;
        std::stringstream text(Contents());
        std::string line;
        for (size_t i = 0; std::getline(text, line); ++i) {
            if (i >= skip) {
                const size_t split = std::min(line.find(' '), line.size());
                lines.emplace_back(line.substr(0, split), line.substr(split));
            }
        }
        return lines;
    }

    // Seconds since the session opened, to the microsecond: +0.000123.
    static bool IsElapsed(const std::string& text)
    {
        return std::regex_match(text, std::regex(R"(\+\d+\.\d{6})"));
    }

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
    TraceTo(path);
    Exchange();
    channel.Close();

    EXPECT_EQ(Contents().rfind("earlier session\n", 0), 0u);   // appended, not replaced
    const auto lines = Lines(1);
    ASSERT_EQ(lines.size(), 3u) << Contents();
    EXPECT_TRUE(std::regex_match(lines[0].second, std::regex(R"( @ zentrix-trace 1 program=unknown kind=serial )"
                                                             R"(device=- block=1024 start=\d{4}-\d\d-\d\dT)"
                                                             R"(\d\d:\d\d:\d\d\.\d{3}Z)")))
        << lines[0].second;
    for (const auto& line : lines) {
        EXPECT_TRUE(IsElapsed(line.first)) << line.first;
    }
    EXPECT_EQ(lines[1].second, " > 41 42 05  AB.");
    EXPECT_EQ(lines[2].second, " < 4F 4B 06 FF  OK..");
}

TEST_F(TraceTest, NothingIsWrittenWithoutATraceFileAtOpen)
{
    TraceTo("");
    ASSERT_EQ(channel.OpenOn(CFdTransport::Adopt(fds[0])), ChannelOk);
    TraceTo(path);   // too late: read once at Open
    ASSERT_EQ(channel.Write(Bytes("AB"), 2), ChannelOk);
    channel.Close();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(TraceTest, ANewTraceFileIsPrivate)
{
    const mode_t oldMask = umask(022);
    TraceTo(path);
    Exchange();
    umask(oldMask);
    EXPECT_EQ(channel.TraceFailure().English(), "");
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
        TraceTo(tracePath);
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
        EXPECT_EQ(channel.TraceFailure().English(), "cannot open trace file " + tracePath + ": " + reason);
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
    TraceTo(path);
    Exchange();
    EXPECT_EQ(channel.TraceFailure().English(), "");
    channel.Close();
    EXPECT_EQ(Lines(0).size(), 3u);
}

TEST_F(TraceTest, LongWritesStayOnOneLine)
{
    TraceTo(path);
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
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);   // the header and the write
}

// A USB session's header names the calculator, values with spaces escaped;
// its last line is the ending, with the reason on one line.
TEST_F(TraceTest, TheHeaderNamesTheCalculatorAndTheEndingCloses)
{
    CChannelTrace trace;
    trace.SetDevice("usb:1:5");
    trace.SetSubject({"9.8.7.6", "1a2b:5e01", "ZX 42", "1-2.3", 1024, "", path});
    trace.Start();
    trace.Record(CChannelTrace::kWritten, Bytes("\x05\x30"), 2);
    trace.End("failed", 256, "the tail check: no\nreply");
    trace.Stop();

    const auto lines = Lines(0);
    ASSERT_EQ(lines.size(), 3u) << Contents();
    const std::string header = lines[0].second.substr(0, lines[0].second.find(" start="));
    EXPECT_EQ(header, " usb:1:5 @ zentrix-trace 1 program=9.8.7.6 kind=usb ids=1a2b:5e01 serial=ZX\\x2042 "
                      "port=1-2.3 device=usb:1:5 block=1024");
    EXPECT_EQ(lines[1].second, " usb:1:5 > 05 30  .0");
    EXPECT_EQ(lines[2].second, " usb:1:5 = end result=failed block=256 reason=the tail check: no\\nreply");
    EXPECT_LE(std::stod(lines[1].first.substr(1)), std::stod(lines[2].first.substr(1)));
}

// The last run's copy: private, replaced by every session, never written
// through a link, and capped: its first lines and its ending are kept.
TEST_F(TraceTest, TheLastRunCopyIsReplacedAndCapped)
{
    const std::string copy = path + ".last";
    CChannelTrace trace;
    trace.SetSubject({"1", "", "", "", 1024, copy, ""});
    const std::vector<uint8_t> block(1u << 20, 0x41);
    for (const int blocks : {40, 1}) {
        trace.Start();
        for (int i = 0; i < blocks; ++i) {
            trace.Record(CChannelTrace::kRead, block.data(), static_cast<uint32_t>(block.size()));
        }
        trace.End("updated", 1024, "");
        trace.Stop();
    }
    {
        std::ifstream first(copy);
        const std::string text((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "the second session replaced the first";
        EXPECT_EQ(text.size(), text.find(" < 41") + 4 * block.size() + 4 + text.substr(text.rfind("\n+")).size());
    }
    struct stat info = {};
    ASSERT_EQ(stat(copy.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    trace.Start();
    for (int i = 0; i < 40; ++i) {
        trace.Record(CChannelTrace::kRead, block.data(), static_cast<uint32_t>(block.size()));
    }
    trace.End("failed", 0, "cut off");
    trace.Stop();
    const uint64_t size = std::filesystem::file_size(copy);
    EXPECT_LE(size, kLastRunTraceCap);
    EXPECT_GT(size, kLastRunTraceCap - 2 * (5 * block.size() + 64));
    std::ifstream in(copy);
    std::string line;
    std::vector<std::string> words;
    while (std::getline(in, line)) {
        words.push_back(line.substr(line.find(' ') + 1, 50));
    }
    ASSERT_GE(words.size(), 4u);
    EXPECT_EQ(words.front().rfind("@ zentrix-trace 1", 0), 0u);
    EXPECT_EQ(words[words.size() - 2].rfind("# the rest of the session is left out", 0), 0u);
    EXPECT_EQ(words.back(), "= end result=failed block=- reason=cut off");

    std::filesystem::remove(copy);
    {
        std::ofstream(path) << "someone else's\n";
    }
    std::filesystem::create_symlink(path, copy);
    trace.Start();
    trace.End("failed", 0, "x");
    trace.Stop();
    EXPECT_EQ(Contents(), "someone else's\n");
    std::filesystem::remove(copy);
}

}  // namespace
