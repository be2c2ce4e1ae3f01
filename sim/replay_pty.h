// SPDX-License-Identifier: GPL-3.0-or-later
// Plays the calculator's side of a recorded session on a pty, byte for byte,
// and checks that what the updater sends is what the trace recorded.
#pragma once

#include <csignal>
#include <memory>
#include <string>

#include "sim/trace_reader.h"

namespace zsim {

struct ReplayOptions {
    bool recordedTiming = false;   // the calculator's bytes at their recorded times; else at once
    int quietMs = 10000;           // silence of the updater, where it should send, that ends the replay
    int endWaitMs = 60000;         // after the last recorded byte: how long the updater may keep the link
};

struct ReplayVerdict {
    bool clean = false;   // the updater sent exactly what was recorded, and no more
    std::string line;     // for a person
    std::string report;   // key=value pairs on one line
};

class ReplayPty {
public:
    ReplayPty();
    ~ReplayPty();
    ReplayPty(const ReplayPty&) = delete;
    ReplayPty& operator=(const ReplayPty&) = delete;

    bool Open();   // the pty (raw, no echo) and the watch on its opens
    const std::string& SlavePath() const;
    // Plays `session` to the updater that opens the pty; `stop` set (by a
    // signal) ends the replay as it stands.
    ReplayVerdict Play(const RecordedSession& session, const ReplayOptions& options,
                       const volatile std::sig_atomic_t& stop);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zsim
