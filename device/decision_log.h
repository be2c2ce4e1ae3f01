// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's decisions, one line each, for whoever asked with --debug
// (or ZENTRIX_DEBUG=1): each device offered, skipped or claimed and why,
// which file and line set a setting, which permission refused a port, why
// a run ended. Off unless start-up makes one; never part of --json, the
// record or the wire. The lines are developers' words, not translated.
//
// A line is handed to a queue and written by a thread of its own, so that
// no run waits for the log: when the reader of standard error does not keep
// up, lines past the queue's bound are dropped and counted.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Lines waiting to be written, at most; more are dropped and counted.
inline constexpr size_t kMaxWaitingDecisions = 512;

// Where a part of the program writes its decisions: a handle on the log
// start-up made, or off (the default). Copies write to the same log.
class DecisionLog {
public:
    struct State;   // the queue and its writer's state, shared with the writer thread

    DecisionLog() = default;
    bool On() const;
    // Builds and writes a line (without a line feed) only when the log is on:
    // `make` returns it.
    template <typename Make>
    void operator()(Make make) const
    {
        if (On()) {
            Write(make());
        }
    }
    void Write(std::string line) const;

private:
    friend class CDecisionLog;
    explicit DecisionLog(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

// The log itself, for the life of its owner: started with `write` (given
// each line with its line feed, on the log's own thread), stopped at the
// end — the lines waiting are written within about a second, and the
// thread is let go if `write` is stuck. Off when `on` is false.
class CDecisionLog {
public:
    CDecisionLog(bool on, std::function<void(std::string_view)> write);
    ~CDecisionLog();
    CDecisionLog(const CDecisionLog&) = delete;
    CDecisionLog& operator=(const CDecisionLog&) = delete;

    DecisionLog Handle() const { return DecisionLog(m_state); }

private:
    std::shared_ptr<DecisionLog::State> m_state;   // null when off
};
