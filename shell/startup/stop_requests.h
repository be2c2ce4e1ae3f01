// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the user or the system asked of the process by a signal: set by the
// program's signal handlers, read (and cleared) by the front end.
#include <csignal>

struct StopRequests {
    // Ctrl+C: answers Cancel at a prompt; stops an update only when the
    // calculator has been silent long enough for the user to end the wait.
    volatile std::sig_atomic_t interrupt = 0;
    // SIGTERM: the run in progress ends through the abandon path and the
    // program ends without asking anything more.
    volatile std::sig_atomic_t terminate = 0;
    // SIGWINCH: the terminal changed its size; whoever fits lines to it reads
    // its width again (and clears this).
    volatile std::sig_atomic_t resized = 0;
};
