// SPDX-License-Identifier: GPL-3.0-or-later
// The inhibitors are asked for by a thread of its own: a run that starts
// writing only counts itself in and goes on, whatever logind does. They are
// taken when the first run starts writing and held while any does (a set's
// runs share them; no run asks again), and let go, by closing their
// descriptors, when the last one ends. A request has a limit, and the end
// of the program does not wait for one under way.
// One inhibitor for sleep and one for shutdown, not one for
// "sleep:shutdown": logind asks polkit about each of them alone by its own
// action (the package's rule allows those two), and about both at once by
// another.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "device/decision_log.h"
#include "device/posix_fd.h"
#include "shell/session/keep_awake.h"

namespace {

// logind answers at once; a bus that hangs must not hold anything for long.
constexpr auto kCallLimit = std::chrono::seconds(5);
// How long the first run that starts writing waits for the first answer, so
// that a missing bus is noted in the trace of the run it concerns; no other
// run waits at all.
constexpr auto kFirstAnswerWait = std::chrono::milliseconds(500);

struct BusClose {
    // Not flushed: a stalled bus must not hold the end of the program.
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

// An inhibitor's descriptor: logind lets the inhibitor go when it is closed.
class CHeldFd {
public:
    ~CHeldFd() { Reset(-1); }
    void Reset(int fd)
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = fd;
    }
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

std::string Why(size_t writing)
{
    return writing == 1 ? "1 calculator is being updated" : std::to_string(writing) + " calculators are being updated";
}

// What one Inhibit request came to.
struct Answer {
    bool done = false;
    int fd = -1;          // our own descriptor of the inhibitor; -1 when none
    std::string failure;  // why there is none
};

int OnInhibitReply(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/)
{
    auto& answer = *static_cast<Answer*>(userdata);
    answer.done = true;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        answer.failure = std::string("logind refused or is not there: ") +
                         (error->message != nullptr ? error->message : error->name != nullptr ? error->name : "?");
        return 0;
    }
    int fd = -1;
    const int r = sd_bus_message_read(reply, "h", &fd);
    answer.fd = r < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (answer.fd < 0) {
        answer.failure = std::string("logind's answer holds no inhibitor: ") + std::strerror(r < 0 ? -r : errno);
    }
    return 0;
}

class CLogindInhibitor final : public IWriteGuard {
public:
    explicit CLogindInhibitor(DecisionLog decisions)
        : m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_decisions(std::move(decisions))
    {
    }
    ~CLogindInhibitor() override
    {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        const uint64_t one = 1;
        (void)!write(m_wake.Get(), &one, sizeof one);   // ends a request under way
        if (m_worker.joinable()) {
            m_worker.join();
        }
    }
    CLogindInhibitor(const CLogindInhibitor&) = delete;
    CLogindInhibitor& operator=(const CLogindInhibitor&) = delete;

    std::string BeginWriting() override
    {
        std::unique_lock<std::mutex> hold(m_lock);
        ++m_writing;
        if (!m_worker.joinable() && m_unavailable.empty()) {
            m_worker = std::thread([this] { Work(); });
        }
        m_changed.notify_all();
        if (!m_answered && !m_waited) {
            m_waited = true;   // one run waits, once
            m_changed.wait_for(hold, kFirstAnswerWait, [this] { return m_answered; });
        }
        if (m_unavailable.empty() || m_noted) {
            return {};
        }
        m_noted = true;   // said once, by the first run that hears of it
        return "no sleep inhibitor: " + m_unavailable + "; the computer may sleep while calculators are written";
    }
    void EndWriting() override
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (--m_writing == 0) {
            m_sleep.Reset(-1);
            m_shutdown.Reset(-1);
        }
    }

private:
    // The worker: asks whenever a run writes and no inhibitor is held, until
    // logind cannot be had (then it is not asked again) or the end.
    void Work();
    // One Inhibit request of `what` naming `writing` runs, answered within
    // the limit; false when the program ends first.
    bool Ask(std::unique_ptr<sd_bus, BusClose>& bus, const char* what, size_t writing, Answer& answer);
    // Keeps the inhibitor of `answer` in `held` while runs still write.
    void Keep(bool asked, Answer& answer, CHeldFd& held);

    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_writing = 0;
    CHeldFd m_sleep;
    CHeldFd m_shutdown;
    bool m_answered = false;    // the first request has had its answer
    bool m_waited = false;      // a run has waited for that answer
    std::string m_unavailable;  // why logind cannot be had; empty while it may
    bool m_noted = false;       // a run's trace has said so
    bool m_stop = false;
    const CPosixFd m_wake;      // readable once the program ends
    const DecisionLog m_decisions;
    std::thread m_worker;       // started by the first run that writes
};

void CLogindInhibitor::Work()
{
    std::unique_ptr<sd_bus, BusClose> bus;   // this thread's alone
    std::unique_lock<std::mutex> hold(m_lock);
    while (m_unavailable.empty()) {
        m_changed.wait(hold, [this] { return m_stop || (m_writing > 0 && !m_sleep.Held()); });
        if (m_stop) {
            return;
        }
        const size_t writing = m_writing;
        hold.unlock();
        Answer sleep;
        Answer shutdown;
        bool asked = Ask(bus, "sleep", writing, sleep);
        if (asked && sleep.failure.empty()) {
            asked = Ask(bus, "shutdown", writing, shutdown);
        }
        hold.lock();
        Keep(asked, sleep, m_sleep);
        Keep(asked, shutdown, m_shutdown);
        if (!asked) {
            return;
        }
        const std::string& failure = !sleep.failure.empty() ? sleep.failure : shutdown.failure;
        if (!failure.empty()) {
            m_unavailable = failure;
            bus.reset();
        }
        m_answered = true;
        m_changed.notify_all();
    }
}

void CLogindInhibitor::Keep(bool asked, Answer& answer, CHeldFd& held)
{
    if (answer.fd < 0) {
        return;
    }
    if (asked && m_writing > 0) {
        held.Reset(answer.fd);   // runs still write: held for them
    } else {
        close(answer.fd);        // they have ended meanwhile
    }
    answer.fd = -1;
}

bool CLogindInhibitor::Ask(std::unique_ptr<sd_bus, BusClose>& bus, const char* what, size_t writing, Answer& answer)
{
    if (!bus) {
        sd_bus* opened = nullptr;
        const int r = sd_bus_open_system(&opened);
        if (r < 0) {
            answer.failure = std::string("the system bus cannot be reached: ") + std::strerror(-r);
            return true;
        }
        bus.reset(opened);
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus.get(), &raw, "org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "Inhibit");
    const std::unique_ptr<sd_bus_message, MessageUnref> call(raw);
    if (r >= 0) {
        r = sd_bus_message_append(call.get(), "ssss", what, "Zentrix OS Update", Why(writing).c_str(), "block");
    }
    sd_bus_slot* rawSlot = nullptr;
    const uint64_t limitUs = std::chrono::duration_cast<std::chrono::microseconds>(kCallLimit).count();
    if (r >= 0) {
        r = sd_bus_call_async(bus.get(), &rawSlot, call.get(), OnInhibitReply, &answer, limitUs);
    }
    const std::unique_ptr<sd_bus_slot, SlotUnref> slot(rawSlot);   // dropped before `answer` is
    if (r < 0) {
        answer.failure = std::string("the system bus cannot be reached: ") + std::strerror(-r);
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + kCallLimit + std::chrono::milliseconds(100);
    while (!answer.done) {
        r = sd_bus_process(bus.get(), nullptr);
        if (r < 0) {
            answer.failure = std::string("the system bus went away: ") + std::strerror(-r);
            return true;
        }
        if (r > 0) {
            continue;   // more may be waiting
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            answer.failure = "logind did not answer in time";
            return true;
        }
        const int events = sd_bus_get_events(bus.get());
        if (events < 0) {
            answer.failure = std::string("the system bus went away: ") + std::strerror(-events);
            return true;
        }
        pollfd waits[2] = {{sd_bus_get_fd(bus.get()), static_cast<short>(events), 0}, {m_wake.Get(), POLLIN, 0}};
        if (poll(waits, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            answer.failure = std::string("the system bus cannot be waited on: ") + std::strerror(errno);
            return true;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            m_decisions([] { return std::string("the program ends with its request to logind under way: not waited for"); });
            return false;   // the program ends: nobody waits for logind
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<IWriteGuard> MakeKeepAwake(DecisionLog decisions)
{
    return std::make_unique<CLogindInhibitor>(std::move(decisions));
}
