// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/process_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace {

// Written only by the signal handlers below.
StopRequests g_stops;

void OnInterrupt(int)
{
    g_stops.interrupt = 1;
}

void OnTerminate(int)
{
    g_stops.terminate = 1;
}

void OnResize(int)
{
    g_stops.resized = 1;
}

void Handle(int signal, void (*handler)(int), int flags = 0)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;   // no restart: a waiting read returns and sees the request
    sigaction(signal, &action, nullptr);
}

}  // namespace

void EnsureStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
    }
}

StopRequests* InstallStopSignals(bool interruptTerminates)
{
    Handle(SIGINT, interruptTerminates ? OnTerminate : OnInterrupt);
    Handle(SIGTERM, OnTerminate);
    Handle(SIGQUIT, OnTerminate);
    Handle(SIGWINCH, OnResize, SA_RESTART);   // nothing waits for a new width
    // Signals whose default would end the process mid-flash and that ask
    // nothing of it: a trace or scratch file over the size limit fails its
    // write with EFBIG instead, which the run reports.
    for (const int ignored : {SIGHUP, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ}) {
        Handle(ignored, SIG_IGN);
    }
    return &g_stops;
}

void LetSignalsEndTheProcess()
{
    for (const int ending : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE}) {
        Handle(ending, SIG_DFL);
    }
}
