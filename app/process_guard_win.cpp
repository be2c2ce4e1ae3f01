// SPDX-License-Identifier: GPL-3.0-or-later
// The process's guards on Windows: Ctrl+C and Ctrl+Break from the console,
// and the console window being closed, become requests to the front end.
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "app/process_guard.h"

namespace {

// Written only by the console control handler below.
StopRequests g_stops;
// The window asks Ctrl+C to end the run rather than answer a prompt.
volatile LONG g_interruptTerminates = 0;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        if (g_interruptTerminates != 0) {
            g_stops.terminate = 1;
        } else {
            g_stops.interrupt = 1;
        }
        return TRUE;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_stops.terminate = 1;
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void EnsureStandardDescriptors()
{
    // A program started without standard handles gets the null device on
    // them, so nothing opened later takes their place.
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) == -1 || _get_osfhandle(fd) == -2) {
            FILE* stream = fd == 0 ? stdin : fd == 1 ? stdout : stderr;
            std::freopen("NUL", fd == 0 ? "r" : "w", stream);
        }
    }
    // The program's texts, and the escaped outside texts, are UTF-8: a
    // console shows them as such, whatever its code page was.
    SetConsoleOutputCP(CP_UTF8);
}

StopRequests* InstallStopSignals(bool interruptTerminates)
{
    g_interruptTerminates = interruptTerminates ? 1 : 0;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    return &g_stops;
}

void LetSignalsEndTheProcess()
{
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}
