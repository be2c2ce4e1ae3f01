// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a trace the updater wrote (ZENTRIX_TRACE, or the last run's copy)
// into the session the simulator replays: its header, the bytes each side
// sent in the order they crossed the link, and the run's recorded ending.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <vector>

namespace zsim {

// The trace format this reader knows.
inline constexpr int kReplayFormatVersion = 1;
// The longest trace line read; a longer one is refused unread.
inline constexpr size_t kMaxTraceLineBytes = 1024 * 1024;

struct TraceEvent {
    bool fromUpdater = false;     // '>' the updater wrote; '<' the updater read (the calculator sent)
    std::vector<uint8_t> bytes;
    int64_t micros = 0;           // since the session opened
    int line = 0;                 // 1-based, in the trace file
};

struct RecordedSession {
    std::string device;                          // as the lines name it ("" when they name none)
    std::map<std::string, std::string> header;   // program, kind, device, block, start, ids, serial, port
    std::vector<TraceEvent> events;
    bool ended = false;                          // the ending line was there
    std::string ending;                          // "result=... block=... reason=..."
    int cutAtLine = 0;                           // the trace ends inside this line (a crash), which is left out
    size_t updaterBytes = 0;
    size_t calculatorBytes = 0;
};

// Reads the first session of the trace, or the first session on `device`
// when it is not empty, a line at a time. False with `error` when there is
// none, when the trace has no header (written before traces could be
// replayed), when its format is newer than this reader's or cannot be read,
// or when a line of the session cannot be read or is longer than
// kMaxTraceLineBytes. A last line without its line feed was cut off as it
// was written: the session is read up to it (cutAtLine). What `error`
// quotes of the trace is escaped.
bool ReadTraceSession(std::istream& in, const std::string& device, RecordedSession& out, std::string& error);

}  // namespace zsim
