// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The last run's trace: every run's exchange with its calculator is kept,
// capped in size, beside the history (last-run.trace in the same folder),
// each run replacing the one before, for a problem report.
#include <string>

#include "shell/records/history.h"
#include "update/run_update.h"

// The last run's trace beside the history file at `historyPath`; empty when
// the history has no place.
std::string LastRunTracePath(const std::string& historyPath);

// What a run's trace says of the program, and its last-run copy: kept only
// by a program that keeps its history.
RunTraceSettings RunTraceSettingsOf(const HistorySettings& history);
