// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "shell/session/keep_awake.h"

// The request belongs to the thread that makes it: each run's thread holds
// its own, and the system stays on while any is held.
std::string CExecutionStateGuard::BeginWriting()
{
    if (m_setState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
        return "no sleep block: SetThreadExecutionState refused; the computer may sleep while calculators are "
               "written";
    }
    return {};
}

void CExecutionStateGuard::EndWriting()
{
    m_setState(ES_CONTINUOUS);
}

std::unique_ptr<IWriteGuard> MakeKeepAwake(DecisionLog /*decisions*/)
{
    return std::make_unique<CExecutionStateGuard>([](unsigned long flags) {
        return static_cast<unsigned long>(SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags)));
    });
}
