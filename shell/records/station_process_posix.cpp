// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <csignal>

#include <unistd.h>

#include "shell/records/station_status.h"

int64_t ThisProcessId()
{
    return static_cast<int64_t>(getpid());
}

bool ProcessRunning(int64_t pid)
{
    if (pid <= 0 || static_cast<pid_t>(pid) != pid) {
        return false;
    }
    // Another user's process (the service's, for an administrator who is
    // not root) answers "not permitted": it runs.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
