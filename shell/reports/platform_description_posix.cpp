// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's name for a problem report, on Linux.
#include <sys/utsname.h>

#include "shell/reports/problem_report.h"

std::string PlatformDescription()
{
    struct utsname name = {};
    if (uname(&name) != 0) {
        return "unknown";
    }
    return std::string(name.sysname) + " " + name.release + " " + name.machine;
}
