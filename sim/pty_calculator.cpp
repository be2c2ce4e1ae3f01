// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated calculator on a pty: the updater opens the slave side as it
// would open a serial cable; a background thread answers on the master side.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "sim/calculator.h"
#include "sim/owned_fd.h"

namespace zsim {
namespace {

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

struct PtyCalculator::Impl {
    Options options;
    std::string slavePath;
    Fd master;
    Fd spareSlave;   // keeps the pty alive between the updater's opens
    Fd wakeRead;
    Fd wakeWrite;
    Fd openWatch;    // opens and closes of the slave's name (inotify); -1: not watched
    int others = 0;  // slave descriptors held by others, as the watch counted them
    std::thread thread;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<RunRecord> runs;
    bool serving = false;
    std::function<void(bool)> restartHook;
    // A restart under way: the line is dead until `restartEnds` (for ever
    // when the calculator stays silent after it).
    bool restarting = false;
    bool deadForGood = false;
    std::chrono::steady_clock::time_point restartEnds{};
    bool nextAfterRestart = false;   // the next run is the first after a restart
    // When the link last came up (under the mutex), and when the run under
    // way got its first byte (the serving thread's).
    std::chrono::steady_clock::time_point linkUp = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point runFirstByte{};
    std::chrono::steady_clock::time_point runLastByte{};

    void Serve();
    bool CountOpeners();
    bool EndRunOfVanishedUpdater(Calculator& calc);
    bool Pump(Calculator& calc, const uint8_t* data, size_t n);
    bool WriteAll(const std::vector<uint8_t>& bytes);
    bool Trickle(const std::vector<uint8_t>& bytes);
    void Finish(Calculator& calc, bool last = false);
    void BeginRestart(const RunRecord& updated);
    void EndRestart();
    int RestartWaitMs() const;
    void TellRestart(bool on);
    Calculator Fresh() {
        Calculator calc(CurrentOptions());
        if (nextAfterRestart) calc.MarkAfterRestart();
        return calc;
    }
    void Stop();
    Options CurrentOptions() {
        std::lock_guard lock(mutex);
        return options;
    }
    bool WaitForWake(int ms) {
        pollfd p{wakeRead.Get(), POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
};

PtyCalculator::PtyCalculator(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

PtyCalculator::~PtyCalculator() { impl_->Stop(); }

bool PtyCalculator::Start() {
    Impl& d = *impl_;
    if (d.thread.joinable()) return false;
    d.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (d.master.Get() < 0 || ::grantpt(d.master.Get()) != 0 || ::unlockpt(d.master.Get()) != 0) return false;
    char name[256];
    if (::ptsname_r(d.master.Get(), name, sizeof name) != 0) return false;
    d.slavePath = name;
    // Raw mode is set through our own slave descriptor before anyone else
    // opens it; holding that descriptor keeps the settings and keeps the
    // master from reading EIO while the updater has the slave closed.
    d.spareSlave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (d.spareSlave.Get() < 0 || !MakeRaw(d.spareSlave.Get())) return false;
    // Our own open is behind us: from here on the watch counts the others'.
    // Without it (no inotify) a vanished updater is noticed only when the
    // next one sends its first packet.
    d.openWatch.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (d.openWatch.Get() >= 0 && ::inotify_add_watch(d.openWatch.Get(), name, IN_OPEN | IN_CLOSE) < 0)
        d.openWatch.Reset();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    d.wakeRead.Reset(pipeFds[0]);
    d.wakeWrite.Reset(pipeFds[1]);
    const int flags = ::fcntl(d.master.Get(), F_GETFL);
    ::fcntl(d.master.Get(), F_SETFL, flags | O_NONBLOCK);
    d.serving = true;
    d.thread = std::thread([&d] {
        // Stop signals are the main thread's to take (its loop checks for
        // them); a serving thread blocked in a wait must not swallow them.
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stops, nullptr);
        d.Serve();
    });
    return true;
}

const std::string& PtyCalculator::SlavePath() const { return impl_->slavePath; }

bool PtyCalculator::WaitForRuns(int n, int timeoutMs) {
    Impl& d = *impl_;
    std::unique_lock lock(d.mutex);
    d.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return static_cast<int>(d.runs.size()) >= n || !d.serving; });
    return static_cast<int>(d.runs.size()) >= n;
}

std::vector<RunRecord> PtyCalculator::Runs() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->runs;
}

void PtyCalculator::SetOptions(const Options& options) {
    std::lock_guard lock(impl_->mutex);
    impl_->options = options;
}

bool PtyCalculator::Serving() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->serving;
}

void PtyCalculator::Stop() { impl_->Stop(); }

void PtyCalculator::OnRestart(std::function<void(bool restarting)> hook) {
    std::lock_guard lock(impl_->mutex);
    impl_->restartHook = std::move(hook);
}

void PtyCalculator::MarkLinkUp() {
    std::lock_guard lock(impl_->mutex);
    impl_->linkUp = std::chrono::steady_clock::now();
}

void PtyCalculator::Impl::Stop() {
    if (thread.joinable()) {
        const uint8_t b = 1;
        [[maybe_unused]] const ssize_t w = ::write(wakeWrite.Get(), &b, 1);
        thread.join();
    }
    master.Reset();
    spareSlave.Reset();
}

void PtyCalculator::Impl::Serve() {
    Calculator calc(CurrentOptions());
    uint8_t buffer[4096];
    bool alive = true;
    bool stopped = false;
    while (alive) {
        pollfd fds[3] = {{master.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}, {openWatch.Get(), POLLIN, 0}};
        const int quietMs = calc.GetOptions().quietMs;
        const int ready = ::poll(fds, 3, restarting ? RestartWaitMs() : calc.HasPartialInput() ? quietMs : -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (fds[1].revents & POLLIN) {
            stopped = true;
            break;
        }
        if (restarting) {
            // Whatever comes while the calculator restarts is lost.
            if (fds[2].revents & POLLIN) CountOpeners();
            if ((fds[0].revents & POLLIN) && ::read(master.Get(), buffer, sizeof buffer) <= 0 && WaitForWake(20)) {
                stopped = true;
                break;
            }
            if (!deadForGood && std::chrono::steady_clock::now() >= restartEnds) {
                EndRestart();
                calc = Fresh();
            }
            continue;
        }
        if ((fds[2].revents & POLLIN) && CountOpeners() && others == 0 && calc.Started() && !calc.Ended()) {
            alive = EndRunOfVanishedUpdater(calc);
            continue;
        }
        if (ready == 0) {
            calc.OnQuiet();
            alive = Pump(calc, nullptr, 0);
            continue;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const ssize_t got = ::read(master.Get(), buffer, sizeof buffer);
        if (got > 0) {
            alive = Pump(calc, buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno == EIO || errno == EAGAIN || errno == EINTR) {
            // No peer on the slave side at the moment: wait and look again.
            if (WaitForWake(20)) {
                stopped = true;
                break;
            }
        } else {
            break;
        }
    }
    if (calc.Started() && !calc.Ended()) {
        // Stopped from outside: the run is recorded as it stands.
        if (!stopped) calc.LinkLost();
        Finish(calc);
    }
    std::lock_guard lock(mutex);
    serving = false;
    changed.notify_all();
}

// Reads the opens and closes of the slave's name; false when the count
// cannot be trusted (events were lost), which ends the watching.
bool PtyCalculator::Impl::CountOpeners() {
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t got = ::read(openWatch.Get(), events, sizeof events);
        if (got <= 0) return errno == EAGAIN || errno == EINTR;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, events + at, sizeof event);
            if (event.mask & (IN_Q_OVERFLOW | IN_IGNORED)) {
                openWatch.Reset();
                return false;
            }
            if (event.mask & IN_OPEN) ++others;
            if ((event.mask & IN_CLOSE) && others > 0) --others;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

// Every other holder of the slave has closed it in the middle of a run: the
// updater has gone. What it wrote before may still be on its way through
// the pty, so the run takes that first; if it still has not ended, the link
// is lost. A lock the updater left behind is cleared for the next one.
// False when the calculator hung up.
bool PtyCalculator::Impl::EndRunOfVanishedUpdater(Calculator& calc) {
    uint8_t buffer[4096];
    constexpr int kSettleMs = 100;
    for (;;) {
        pollfd fds[2] = {{master.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
        if (::poll(fds, 2, kSettleMs) <= 0 || (fds[1].revents & POLLIN) || (fds[0].revents & POLLIN) == 0) break;
        const ssize_t got = ::read(master.Get(), buffer, sizeof buffer);
        if (got <= 0) break;
        if (!Pump(calc, buffer, static_cast<size_t>(got))) return false;
    }
    if (calc.Started() && !calc.Ended()) {
        calc.LinkLost();
        Finish(calc);
        calc = Fresh();
    }
    ::tcflow(spareSlave.Get(), TCOON);
    ::tcflush(spareSlave.Get(), TCIOFLUSH);
    ::ioctl(spareSlave.Get(), TIOCNXCL);
    return true;
}

// Feeds bytes to the run, sends its answers, and starts the next run when it
// ends. False when the calculator hung up.
bool PtyCalculator::Impl::Pump(Calculator& calc, const uint8_t* data, size_t n) {
    std::vector<uint8_t> input(data, data + n);
    for (;;) {
        if (!input.empty() && runFirstByte == std::chrono::steady_clock::time_point{})
            runFirstByte = std::chrono::steady_clock::now();
        const bool fresh = !calc.Started();
        // Options set while no run was going apply to the run that starts now.
        if (fresh && !calc.HasPartialInput()) calc = Fresh();
        calc.Receive(input);
        const auto out = calc.TakeOutput();
        // Whatever the updater has not read when a new run opens is left over
        // from an earlier run: drop it before the first answer.
        if (fresh && calc.Started()) ::tcflush(spareSlave.Get(), TCIFLUSH);
        if (!WriteAll(out) || !Trickle(calc.TakeSlowOutput())) {
            calc.LinkLost();
        }
        if (!input.empty() || !out.empty()) runLastByte = std::chrono::steady_clock::now();
        // A calculator that takes no more data: the updater's writes to the
        // slave block, as on a line whose handshake says "stop".
        if (calc.Stalled()) ::tcflow(spareSlave.Get(), TCOOFF);
        if (calc.HungUp()) {
            Finish(calc, true);
            master.Reset();
            spareSlave.Reset();
            return false;
        }
        if (!calc.Ended()) return true;
        if (calc.Record().ending == RunRecord::Ending::Terminate04) ::tcflush(spareSlave.Get(), TCIFLUSH);
        // An updater that dies without undoing its exclusive open would
        // otherwise lock every later (non-root) open out of the pty.
        ::ioctl(spareSlave.Get(), TIOCNXCL);
        input = calc.TakeLeftover();
        // The restart's options are set before the run is seen to end: what
        // a waiter sets for the next run then wins over them.
        const bool installed = InstalledOs(calc.Record());
        if (installed) BeginRestart(calc.Record());
        Finish(calc);
        calc = Fresh();
        if (installed && restarting) return true;   // what came with the last word is lost
        if (input.empty()) return true;
    }
}

// The run installed an OS: the calculator restarts with it (or without it).
void PtyCalculator::Impl::BeginRestart(const RunRecord& updated) {
    int restartMs = 0;
    {
        std::lock_guard lock(mutex);
        restartMs = options.restartMs;
        options = RestartedOptions(options, updated);
        deadForGood = options.afterUpdate == Options::AfterUpdate::Silent;
    }
    nextAfterRestart = true;
    if (restartMs == 0 && !deadForGood) return;
    restarting = true;
    restartEnds = std::chrono::steady_clock::now() + std::chrono::milliseconds(restartMs);
    TellRestart(true);
    ::tcflush(spareSlave.Get(), TCIOFLUSH);
}

void PtyCalculator::Impl::EndRestart() {
    restarting = false;
    {
        std::lock_guard lock(mutex);
        linkUp = std::chrono::steady_clock::now();
    }
    ::tcflush(spareSlave.Get(), TCIOFLUSH);
    TellRestart(false);
}

int PtyCalculator::Impl::RestartWaitMs() const {
    if (deadForGood) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(restartEnds - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

void PtyCalculator::Impl::TellRestart(bool on) {
    std::function<void(bool)> hook;
    {
        std::lock_guard lock(mutex);
        hook = restartHook;
    }
    if (hook) hook(on);
}

bool PtyCalculator::Impl::WriteAll(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(master.Get(), bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd fds[2] = {{master.Get(), POLLOUT, 0}, {wakeRead.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents & POLLIN) return false;
    }
    return true;
}

// Sends bytes one at a time, 3 s apart; false when the simulator is stopped
// meanwhile.
bool PtyCalculator::Impl::Trickle(const std::vector<uint8_t>& bytes) {
    for (const uint8_t byte : bytes) {
        if (WaitForWake(3000) || !WriteAll({byte})) return false;
    }
    return true;
}

// Records a finished run; `last` when no further run will be served.
void PtyCalculator::Impl::Finish(Calculator& calc, bool last) {
    // The restart is behind once the calculator was read back or sent images.
    if (calc.Record().afterRestart && (!ReadBack(calc.Record()) || ReadBackAnswered(calc.Record())))
        nextAfterRestart = false;
    std::lock_guard lock(mutex);
    runs.push_back(calc.Record());
    if (runFirstByte != std::chrono::steady_clock::time_point{}) {
        runs.back().firstByteMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(runFirstByte - linkUp).count();
        runs.back().exchangeUs =
            std::chrono::duration_cast<std::chrono::microseconds>(runLastByte - runFirstByte).count();
    }
    runFirstByte = {};
    if (last) serving = false;
    changed.notify_all();
}

}  // namespace zsim
