// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's name for a problem report, on Windows.
#include <windows.h>

#include "shell/reports/problem_report.h"

std::string PlatformDescription()
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    const bool x64 = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    return std::string("Windows ") + (x64 ? "x86-64" : "other processor");
}
