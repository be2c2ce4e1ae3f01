// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/trace_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace zsim {

TraceInput::~TraceInput() {
    if (fd_ >= 0) ::close(fd_);
}

bool TraceInput::Open(const std::string& path) {
    // A FIFO opened without O_NONBLOCK waits for its writer, deaf to signals.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    return fd_ >= 0;
}

TraceInput::int_type TraceInput::underflow() {
    constexpr int kSliceMs = 100;
    while (fd_ >= 0) {
        if (stop_) {
            stopped_ = true;
            return traits_type::eof();
        }
        // A FIFO no writer has opened yet shows nothing here, and its read
        // would say "end": wait for bytes or the hang-up of a writer.
        pollfd in{fd_, POLLIN, 0};
        if (::poll(&in, 1, kSliceMs) <= 0) continue;
        const ssize_t got = ::read(fd_, buffer_, sizeof buffer_);
        if (got > 0) {
            setg(buffer_, buffer_, buffer_ + got);
            return traits_type::to_int_type(buffer_[0]);
        }
        if (got == 0 || (errno != EAGAIN && errno != EINTR)) break;
    }
    return traits_type::eof();
}

}  // namespace zsim
