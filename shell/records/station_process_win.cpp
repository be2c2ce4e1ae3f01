// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "shell/records/station_status.h"

int64_t ThisProcessId()
{
    return static_cast<int64_t>(GetCurrentProcessId());
}

bool ProcessRunning(int64_t pid)
{
    if (pid <= 0 || pid > 0xFFFFFFFFll) {
        return false;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;   // another user's: it runs
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
