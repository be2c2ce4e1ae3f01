// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/replay_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>

#include "sim/verdict.h"

namespace zsim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 100;

std::string Hex(const uint8_t* bytes, size_t n) {
    std::string text;
    char two[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        text += (i == 0 ? "" : " ") + std::string(two);
    }
    return text.empty() ? "nothing" : text;
}

enum class Got { Byte, Quiet, Closed, Stopped };

// Where and how the updater left the recorded exchange.
struct Divergence {
    Got got = Got::Byte;
    size_t event = 0;        // index of the recorded write (or read) it happened in
    size_t offset = 0;       // byte of that write
    size_t streamOffset = 0; // byte of all the updater sent
    std::string received;
};

}  // namespace

struct ReplayPty::Impl {
    int master = -1;
    int spareSlave = -1;
    int watch = -1;
    int others = 0;           // slave descriptors held by others (the updater)
    bool seenUpdater = false; // the first byte of the updater has come
    std::string slavePath;
    std::deque<uint8_t> pending;

    ~Impl() {
        for (int fd : {master, spareSlave, watch})
            if (fd >= 0) ::close(fd);
    }
    void CountOpeners();
    bool Gone();
    Got Next(uint8_t& byte, int waitMs, const volatile std::sig_atomic_t& stop);
    // `byte` and up to seven of the bytes that came with it, in hex.
    std::string Seen(uint8_t byte);
    Got Send(const std::vector<uint8_t>& bytes, const volatile std::sig_atomic_t& stop);
};

ReplayPty::ReplayPty() : impl_(std::make_unique<Impl>()) {}
ReplayPty::~ReplayPty() = default;
const std::string& ReplayPty::SlavePath() const { return impl_->slavePath; }

bool ReplayPty::Open() {
    Impl& d = *impl_;
    d.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d.master < 0 || ::grantpt(d.master) != 0 || ::unlockpt(d.master) != 0) return false;
    char name[256];
    if (::ptsname_r(d.master, name, sizeof name) != 0) return false;
    d.slavePath = name;
    d.spareSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (d.spareSlave < 0 || ::tcgetattr(d.spareSlave, &t) != 0) return false;
    ::cfmakeraw(&t);
    if (::tcsetattr(d.spareSlave, TCSANOW, &t) != 0) return false;
    d.watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d.watch < 0 || ::inotify_add_watch(d.watch, name, IN_OPEN | IN_CLOSE) < 0) return false;
    ::fcntl(d.master, F_SETFL, ::fcntl(d.master, F_GETFL) | O_NONBLOCK);
    return true;
}

void ReplayPty::Impl::CountOpeners() {
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, events + at, sizeof event);
            if (event.mask & IN_OPEN) ++others;
            if ((event.mask & IN_CLOSE) && others > 0) --others;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

// The updater has closed the link after it began: what it wrote before is
// taken first.
bool ReplayPty::Impl::Gone() {
    CountOpeners();
    return seenUpdater && others == 0;
}

Got ReplayPty::Impl::Next(uint8_t& byte, int waitMs, const volatile std::sig_atomic_t& stop) {
    const auto limit = Clock::now() + std::chrono::milliseconds(waitMs);
    while (pending.empty()) {
        if (stop) return Got::Stopped;
        uint8_t buffer[4096];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            pending.insert(pending.end(), buffer, buffer + got);
            seenUpdater = true;
            break;
        }
        if (Gone()) {
            // What was written before the close may still be on its way.
            pollfd settle{master, POLLIN, 0};
            if (::poll(&settle, 1, kSliceMs) > 0 && (settle.revents & POLLIN)) continue;
            return Got::Closed;
        }
        if (seenUpdater && Clock::now() >= limit) return Got::Quiet;
        pollfd fds[2] = {{master, POLLIN, 0}, {watch, POLLIN, 0}};
        if (::poll(fds, 2, kSliceMs) < 0 && errno != EINTR) return Got::Closed;
        if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    byte = pending.front();
    pending.pop_front();
    return Got::Byte;
}

std::string ReplayPty::Impl::Seen(uint8_t byte) {
    std::vector<uint8_t> seen{byte};
    while (seen.size() < 8 && !pending.empty()) {
        seen.push_back(pending.front());
        pending.pop_front();
    }
    return Hex(seen.data(), seen.size());
}

// The calculator's bytes, as far as the updater takes them: Closed when it
// has gone, Stopped when a signal came first.
Got ReplayPty::Impl::Send(const std::vector<uint8_t>& bytes, const volatile std::sig_atomic_t& stop) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (stop) return Got::Stopped;
        const ssize_t w = ::write(master, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return Got::Closed;
        pollfd out{master, POLLOUT, 0};
        ::poll(&out, 1, kSliceMs);
        if (Gone()) return Got::Closed;
    }
    return Got::Byte;
}

namespace {

std::string Where(const RecordedSession& s, const Divergence& d) {
    const TraceEvent& e = s.events[d.event];
    const size_t shown = std::min<size_t>(e.bytes.size(), 16);
    return "byte " + std::to_string(d.offset) + " of the " + (e.fromUpdater ? "updater's write" : "calculator's reply") +
           " on trace line " + std::to_string(e.line) + " (" + std::to_string(e.bytes.size()) +
           " bytes: " + Hex(e.bytes.data(), shown) + (shown < e.bytes.size() ? " ..." : "") + ")";
}

std::string Expected(const RecordedSession& s, const Divergence& d) {
    const TraceEvent& e = s.events[d.event];
    const size_t n = std::min<size_t>(e.bytes.size() - std::min(d.offset, e.bytes.size()), 8);
    return Hex(e.bytes.data() + std::min(d.offset, e.bytes.size()), n);
}

// What the trace said of its own end: the run's recorded ending, and where
// a trace cut off by a crash stops.
std::string Ending(const RecordedSession& s) {
    std::string ending = s.ended ? Printable(s.ending) : "none recorded (the trace stops before the run's end)";
    if (s.cutAtLine > 0)
        ending += "; the trace is cut off inside line " + std::to_string(s.cutAtLine) + ", replayed up to there";
    return ending;
}

ReplayVerdict Judge(const RecordedSession& s, const Divergence* d, bool updaterCame) {
    ReplayVerdict v;
    const std::string ending = Ending(s);
    const std::string sizes = std::to_string(s.updaterBytes) + " bytes from the updater, " +
                              std::to_string(s.calculatorBytes) + " bytes back";
    v.report = "replay=1";
    if (!updaterCame) {
        v.line = "replay: not run: no updater came before the replay was stopped; recorded ending: " + ending;
        v.report += " clean=0 divergence=not_run";
    } else if (d == nullptr) {
        v.clean = true;
        v.line = "replay: the updater followed the trace to its end (" + sizes + "); recorded ending: " + ending;
        v.report += " clean=1 divergence=none";
    } else if (d->got == Got::Stopped) {
        v.line = "replay: stopped before the updater got to the end of the trace, at " + Where(s, *d);
        v.report += " clean=0 divergence=stopped";
    } else if (d->event >= s.events.size()) {
        v.line = "replay: the updater sent more than the trace holds, after its " + std::to_string(s.updaterBytes) +
                 " bytes: received " + d->received + "; recorded ending: " + ending;
        v.report += " clean=0 divergence=more received=" + Quoted(d->received);
    } else {
        const char* what = d->got == Got::Byte     ? "sent different bytes"
                           : d->got == Got::Quiet ? "went quiet"
                                                  : "closed the link";
        v.line = std::string("replay: the updater ") + what + " at " + Where(s, *d) + ": expected " +
                 Expected(s, *d) + ", received " + d->received + "; recorded ending: " + ending;
        v.report += std::string(" clean=0 divergence=") +
                    (d->got == Got::Byte ? "differs" : d->got == Got::Quiet ? "quiet" : "closed") +
                    " line=" + std::to_string(s.events[d->event].line) + " offset=" + std::to_string(d->offset) +
                    " stream_offset=" + std::to_string(d->streamOffset) + " expected=" + Quoted(Expected(s, *d)) +
                    " received=" + Quoted(d->received);
    }
    v.report += " updater_bytes=" + std::to_string(s.updaterBytes) +
                " calculator_bytes=" + std::to_string(s.calculatorBytes) + " recorded_ending=" + Quoted(ending) +
                " cut_at_line=" + std::to_string(s.cutAtLine);
    return v;
}

}  // namespace

ReplayVerdict ReplayPty::Play(const RecordedSession& s, const ReplayOptions& o, const volatile std::sig_atomic_t& stop) {
    Impl& d = *impl_;
    Divergence at;
    const auto judge = [&](const Divergence* divergence) { return Judge(s, divergence, d.seenUpdater); };
    Clock::time_point zero;   // the session's start as replayed
    for (; at.event < s.events.size(); ++at.event) {
        const TraceEvent& e = s.events[at.event];
        at.offset = 0;
        if (!e.fromUpdater) {
            // The recorded pause is waited out only while the updater is
            // there: one that has left gets no reply, and the replay ends.
            if (o.recordedTiming) {
                while (!stop && !d.Gone() && Clock::now() < zero + std::chrono::microseconds(e.micros))
                    std::this_thread::sleep_for(std::min<Clock::duration>(
                        zero + std::chrono::microseconds(e.micros) - Clock::now(), std::chrono::milliseconds(kSliceMs)));
            }
            at.got = stop ? Got::Stopped : d.Gone() ? Got::Closed : d.Send(e.bytes, stop);
            if (at.got != Got::Byte) {
                at.received = at.got == Got::Closed ? "nothing (the link was closed)" : "nothing";
                return judge(&at);
            }
            continue;
        }
        for (; at.offset < e.bytes.size(); ++at.offset, ++at.streamOffset) {
            uint8_t byte = 0;
            at.got = d.Next(byte, o.quietMs, stop);
            if (at.streamOffset == 0 && at.got == Got::Byte) zero = Clock::now() - std::chrono::microseconds(e.micros);
            if (at.got == Got::Byte && byte == e.bytes[at.offset]) continue;
            at.received = at.got == Got::Byte ? d.Seen(byte)
                          : at.got == Got::Quiet ? "nothing for " + std::to_string(o.quietMs / 1000) + " s"
                                                 : "nothing";
            return judge(&at);
        }
    }
    // Everything recorded has crossed: the updater may only close the link now.
    uint8_t byte = 0;
    at.got = d.Next(byte, o.endWaitMs, stop);
    if (at.got == Got::Byte) {
        at.received = d.Seen(byte);
        return judge(&at);
    }
    return judge(nullptr);
}

}  // namespace zsim
