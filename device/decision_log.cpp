// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/decision_log.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace decision_log {
namespace {

// The log's state lives as long as the process: a writer thread let go at
// Stop may still be using it.
struct State {
    std::atomic<bool> on{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> waiting;
    size_t dropped = 0;
    bool stopping = false;
    bool writing = false;   // the thread holds a line it is writing
    std::function<void(std::string_view)> write;
};

State& TheLog()
{
    static State* const state = new State();   // never destroyed: see above
    return *state;
}

void WriteLines()
{
    State& log = TheLog();
    std::unique_lock lock(log.mutex);
    for (;;) {
        log.changed.wait(lock, [&] { return log.stopping || !log.waiting.empty() || log.dropped > 0; });
        if (log.waiting.empty() && log.dropped == 0) {
            return;   // stopping, and everything written
        }
        std::string line;
        if (!log.waiting.empty()) {
            line = std::move(log.waiting.front());
            log.waiting.pop_front();
        } else {
            line = "(" + std::to_string(log.dropped) + " lines dropped: standard error was not read in time)";
            log.dropped = 0;
        }
        log.writing = true;
        lock.unlock();
        line.push_back('\n');
        log.write(line);
        lock.lock();
        log.writing = false;
        log.changed.notify_all();
    }
}

}  // namespace

bool On()
{
    return TheLog().on.load(std::memory_order_relaxed);
}

void Write(std::string line)
{
    State& log = TheLog();
    std::lock_guard lock(log.mutex);
    if (!log.on.load(std::memory_order_relaxed)) {
        return;
    }
    if (log.waiting.size() >= kMaxWaitingLines) {
        ++log.dropped;
        return;
    }
    log.waiting.push_back(std::move(line));
    log.changed.notify_all();
}

void Start(std::function<void(std::string_view)> write)
{
    State& log = TheLog();
    {
        std::lock_guard lock(log.mutex);
        log.write = std::move(write);
        log.stopping = false;
        log.on = true;
    }
    std::thread(WriteLines).detach();
}

void Stop()
{
    State& log = TheLog();
    std::unique_lock lock(log.mutex);
    log.on = false;
    log.stopping = true;
    log.changed.notify_all();
    // What is waiting is written, unless the reader of standard error is gone.
    log.changed.wait_for(lock, std::chrono::seconds(1),
                         [&] { return log.waiting.empty() && log.dropped == 0 && !log.writing; });
}

}  // namespace decision_log
