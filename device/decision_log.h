// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's decisions, one line each, for whoever asked with --debug
// (or ZENTRIX_DEBUG=1): each device offered, skipped or claimed and why,
// which file and line set a setting, which permission refused a port, why
// a run ended. Off unless start-up turns it on; never part of --json, the
// record or the wire. The lines are developers' words, not translated.
//
// A line is handed to a queue and written by a thread of its own, so that
// no run waits for the log: when the reader of standard error does not keep
// up, lines past the queue's bound are dropped and counted.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace decision_log {

// Lines waiting to be written, at most; more are dropped and counted.
inline constexpr size_t kMaxWaitingLines = 512;

bool On();
// Hands one line (without a line feed) to the log; nothing when it is off.
void Write(std::string line);

// Starts the log: each line is given to `write` (with its line feed) on the
// log's own thread. Stop ends it: the lines waiting are written, within
// about a second, and the thread is let go if `write` is stuck.
void Start(std::function<void(std::string_view)> write);
void Stop();

}  // namespace decision_log

// Builds and writes a line only when the log is on: `make` returns it.
template <typename Make>
void LogDecision(Make make)
{
    if (decision_log::On()) {
        decision_log::Write(make());
    }
}

// Starts the log for a scope and stops it at its end.
class CDecisionLogScope {
public:
    CDecisionLogScope(bool on, std::function<void(std::string_view)> write)
        : m_on(on)
    {
        if (m_on) {
            decision_log::Start(std::move(write));
        }
    }
    ~CDecisionLogScope()
    {
        if (m_on) {
            decision_log::Stop();
        }
    }
    CDecisionLogScope(const CDecisionLogScope&) = delete;
    CDecisionLogScope& operator=(const CDecisionLogScope&) = delete;

private:
    bool m_on;
};
