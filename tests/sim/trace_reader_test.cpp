// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the session a replay plays out of a trace zentrix-update wrote.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/trace_reader.h"

namespace {

// Two calculators of one set sharing a trace, then a second run on the first.
const char* const kSetTrace =
    "+0.000100 /dev/a @ zentrix-trace 1 program=1.0.0.1 kind=serial device=/dev/a block=1024 start=2026-12-08T06:00:00.000Z\n"
    "+0.000100 usb:1:5 @ zentrix-trace 1 program=1.0.0.1 kind=usb ids=1a2b:5e01 serial=ZX\\x2042 port=1-2 device=usb:1:5 block=1024 start=2026-12-08T06:00:00.000Z\n"
    "+0.000200 /dev/a > 05 30  .0\n"
    "+0.000250 usb:1:5 > 05 31  .1\n"
    "+0.000300 /dev/a < 06 20  . \n"
    "+0.000350 /dev/a # a note\n"
    "+0.000400 usb:1:5 < 06  .\n"
    "+1.500000 /dev/a = end result=failed block=- reason=the link: gone\n"
    "+0.000100 /dev/a @ zentrix-trace 1 program=1.0.0.1 kind=serial device=/dev/a block=1024 start=2026-12-08T06:01:00.000Z\n"
    "+0.000200 /dev/a > 07  .\n";

struct ReaderCase {
    const char* what;
    std::string trace;
    std::string device;
    std::string error;          // empty: read
    std::string events;         // "<" or ">" and the byte count of each, as "> 2, < 2"
    std::string ending;
};

std::string Events(const zsim::RecordedSession& s) {
    std::string text;
    for (const auto& e : s.events)
        text += std::string(text.empty() ? "" : ", ") + (e.fromUpdater ? ">" : "<") + " " + std::to_string(e.bytes.size()) +
                "@" + std::to_string(e.line);
    return text;
}

TEST(TraceReader, ReadsOneSessionOrSaysWhyNot) {
    const ReaderCase cases[] = {
        {"the first session", kSetTrace, "", "", "> 2@3, < 2@5", "result=failed block=- reason=the link: gone"},
        {"the session of a USB calculator of the set", kSetTrace, "usb:1:5", "", "> 2@4, < 1@7", ""},
        {"lines that name no device",
         "+0.000000 @ zentrix-trace 1 program=x kind=serial device=- block=256 start=-\n"
         "+0.000001 > 41 42 05  AB.\n+0.000002 < 4F  O\n+0.000003 = end result=updated block=256 reason=-\n",
         "", "", "> 3@2, < 1@3", "result=updated block=256 reason=-"},
        {"a trace of the time before headers", "2026-12-07 09:55:46.123 /dev/a > 05 30  .0\n", "",
         "it has no header line: it was written before traces could be replayed; record it again with this "
         "version of zentrix-update", "", ""},
        {"a newer format", "+0.000000 /dev/a @ zentrix-trace 2 program=9\n", "",
         "line 1 cannot be replayed: it is in trace format 2; this simulator replays format 1", "", ""},
        {"a torn byte line", "+0.000000 /dev/a @ zentrix-trace 1\n+0.000001 /dev/a > 05 3\n", "",
         "line 2 holds bytes that cannot be read", "", ""},
        {"no session on the device asked for", kSetTrace, "/dev/b", "it holds no session on /dev/b", "", ""},
        {"a device named with control bytes", kSetTrace, "/dev/\x1b[2J", "it holds no session on /dev/\\x1b[2J",
         "", ""},
        // A crash leaves the last line cut: what came before it replays.
        {"a trace cut inside a line", "+0.000000 /dev/a @ zentrix-trace 1\n+0.000001 /dev/a > 05 30  .0\n+0.000002 /dev/a < 0",
         "", "", "> 2@2", ""},
        {"a format number that overflows", "+0.000000 /dev/a @ zentrix-trace 4294967297 program=9\n", "",
         "line 1 cannot be replayed: its trace format \"4294967297\" is not a number this simulator can read", "", ""},
        {"a format number with more after it", "+0.000000 /dev/a @ zentrix-trace 1x\n", "",
         "line 1 cannot be replayed: its trace format \"1x\" is not a number this simulator can read", "", ""},
        {"a line longer than a trace's", "+0.000000 /dev/a @ zentrix-trace 1\n" + std::string(zsim::kMaxTraceLineBytes + 1, '0'),
         "", "line 2 is longer than 1 MiB: this is not a trace", "", ""},
    };
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::istringstream in(c.trace);
        zsim::RecordedSession session;
        std::string error;
        const bool read = zsim::ReadTraceSession(in, c.device, session, error);
        EXPECT_EQ(read, c.error.empty());
        EXPECT_EQ(error, c.error);
        if (!read) continue;
        EXPECT_EQ(Events(session), c.events);
        EXPECT_EQ(session.ending, c.ending);
        EXPECT_EQ(session.ended, !c.ending.empty());
        EXPECT_EQ(session.cutAtLine, c.trace.back() == '\n' ? 0 : 3);
    }
    std::istringstream in(kSetTrace);
    zsim::RecordedSession usb;
    std::string error;
    ASSERT_TRUE(zsim::ReadTraceSession(in, "usb:1:5", usb, error));
    EXPECT_EQ(usb.header["kind"], "usb");
    EXPECT_EQ(usb.header["serial"], "ZX\\x2042");
    EXPECT_EQ(usb.events[1].micros, 400);
}

}  // namespace
