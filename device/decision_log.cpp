// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/decision_log.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Shared by the log's owner, every handle and the writer thread: a writer
// let go at the end may still be using it.
struct DecisionLog::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> waiting;
    size_t dropped = 0;
    bool stopping = false;
    bool writing = false;   // the thread holds a line it is writing
    std::function<void(std::string_view)> write;
};

namespace {

void WriteLines(const std::shared_ptr<DecisionLog::State>& log)
{
    std::unique_lock lock(log->mutex);
    for (;;) {
        log->changed.wait(lock, [&] { return log->stopping || !log->waiting.empty() || log->dropped > 0; });
        if (log->waiting.empty() && log->dropped == 0) {
            return;   // stopping, and everything written
        }
        std::string line;
        if (!log->waiting.empty()) {
            line = std::move(log->waiting.front());
            log->waiting.pop_front();
        } else {
            line = "(" + std::to_string(log->dropped) + " lines dropped: standard error was not read in time)";
            log->dropped = 0;
        }
        log->writing = true;
        lock.unlock();
        line.push_back('\n');
        log->write(line);
        lock.lock();
        log->writing = false;
        log->changed.notify_all();
    }
}

}  // namespace

bool DecisionLog::On() const
{
    return m_state != nullptr;
}

void DecisionLog::Write(std::string line) const
{
    if (!m_state) {
        return;
    }
    std::lock_guard lock(m_state->mutex);
    if (m_state->stopping) {
        return;
    }
    if (m_state->waiting.size() >= kMaxWaitingDecisions) {
        ++m_state->dropped;
        return;
    }
    m_state->waiting.push_back(std::move(line));
    m_state->changed.notify_all();
}

CDecisionLog::CDecisionLog(bool on, std::function<void(std::string_view)> write)
{
    if (!on) {
        return;
    }
    m_state = std::make_shared<DecisionLog::State>();
    m_state->write = std::move(write);
    std::thread([state = m_state] { WriteLines(state); }).detach();
}

CDecisionLog::~CDecisionLog()
{
    if (!m_state) {
        return;
    }
    std::unique_lock lock(m_state->mutex);
    m_state->stopping = true;
    m_state->changed.notify_all();
    // What is waiting is written, unless the reader of standard error is gone.
    m_state->changed.wait_for(lock, std::chrono::seconds(1), [&] {
        return m_state->waiting.empty() && m_state->dropped == 0 && !m_state->writing;
    });
}
