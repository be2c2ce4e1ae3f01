// SPDX-License-Identifier: GPL-3.0-or-later
// A trace read as a stream from whatever the user names (a file, a FIFO,
// <(zcat trace.gz)): opened without waiting for a writer, and every wait
// for more bytes ends when a signal asks the simulator to stop.
#pragma once

#include <csignal>
#include <streambuf>
#include <string>

namespace zsim {

class TraceInput : public std::streambuf {
public:
    explicit TraceInput(const volatile std::sig_atomic_t& stop) : stop_(stop) {}
    ~TraceInput() override;
    TraceInput(const TraceInput&) = delete;
    TraceInput& operator=(const TraceInput&) = delete;

    // Opens `path` for reading; false when it cannot be.
    bool Open(const std::string& path);
    // The stream ended because a signal came, not because the trace did.
    bool Stopped() const { return stopped_; }

protected:
    int_type underflow() override;

private:
    const volatile std::sig_atomic_t& stop_;
    int fd_ = -1;
    bool stopped_ = false;
    char buffer_[64 * 1024];
};

}  // namespace zsim
