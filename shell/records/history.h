// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history: one record per update run, one JSON object a line, appended
// to history.jsonl in the user's state folder. Several programs may append
// at once; each line is written whole under a lock and on the disk before
// the run's result is shown.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "shell/records/history_record.h"
#include "shell/records/run_hooks.h"
#include "shell/records/run_metrics.h"
#include "shell/records/system_log.h"
#include "shell/startup/stop_requests.h"
#include "update/run_update.h"

// How one program keeps its history.
struct HistorySettings {
    bool keep = false;              // tests of the shell keep none
    std::string path;               // the history file; empty when it has no place
    std::string programVersion;
    // The program's stop requests: a run that waits for another program's
    // lock on the history gives up when one comes. Null: none.
    const StopRequests* stops = nullptr;
    // Each kept run also goes to the system log (system_log.h).
    bool systemLog = false;
    // Where each run's trace is appended as well (ZENTRIX_TRACE); empty: nowhere.
    std::string tracePath = std::string();
    // The monitoring's file, told of every run; null: none.
    std::shared_ptr<CRunMetrics> metrics = nullptr;
    // The commands run after each record and at each set's end; null: none.
    std::shared_ptr<CRunHooks> hooks = nullptr;
    // The process's runs append one at a time, each waiting its turn here
    // however long, so that a lock found busy is always another program's;
    // every copy of the settings shares it.
    std::shared_ptr<std::mutex> writer = std::make_shared<std::mutex>();
    // The set or station session the runs belong to, and the set whose
    // failed calculators they do again; empty: none.
    std::string setId = std::string();
    std::string retryOf = std::string();
    // Where this machine is, as the machine's file names it; empty: not said.
    std::string site = std::string();
    std::string station = std::string();
    // Whether the system log is the journal where one listens, or syslog alone.
    SystemLogRoute systemLogRoute = SystemLogRoute::JournalFirst;
};

// The record of one run that ended with `outcome`.
HistoryRecord MakeHistoryRecord(const UpdateOutcome& outcome, std::chrono::system_clock::time_point started,
                                std::chrono::system_clock::time_point ended, const char* mode,
                                const std::string& programVersion);

// Appends the record of one run (one line, under the lock, on the disk)
// and, when the settings ask for it, writes it to the system log; a history
// that cannot be written is one warning through `port`, as is a system log
// that cannot take the entry; neither changes the run's result. A run that
// opened no calculator is not kept. Returns the record, made whether or not
// it is kept.
HistoryRecord RecordRun(const HistorySettings& settings, const char* mode, std::chrono::system_clock::time_point started,
               const UpdateOutcome& outcome, IUpdatePort& port);
