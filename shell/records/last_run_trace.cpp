// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/records/last_run_trace.h"

std::string LastRunTracePath(const std::string& historyPath)
{
    const size_t slash = historyPath.find_last_of("/\\");
    if (historyPath.empty() || slash == std::string::npos) {
        return "";
    }
    return historyPath.substr(0, slash + 1) + "last-run.trace";
}

RunTraceSettings RunTraceSettingsOf(const HistorySettings& history)
{
    RunTraceSettings settings;
    settings.programVersion = history.programVersion;
    settings.tracePath = history.tracePath;
    if (history.keep) {
        settings.lastRunCopy = LastRunTracePath(history.path);
    }
    return settings;
}
