// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Commands the school's IT asks to be run as calculators are done: one
// after each record is written (`on-run-end`), one when a set or the
// station ends (`on-set-end`). A command runs by the system's shell
// (/bin/sh -c; cmd.exe /c on Windows) as its owner wrote it; what the
// calculator or the record said reaches it only on standard input (the
// record's JSON line) and in its environment (ZENTRIX_EVENT, ZENTRIX_RESULT,
// ...), never in the command line, so nothing the calculator sent is
// expanded. Its standard output goes where the program's standard error
// goes (standard output may carry --json events). A hook that fails or
// outlives its time limit (then ended) is one warning, and never changes a
// result, a record or the exit status; hooks of several calculators run at
// once, and none holds a run: each is watched by a thread of its own.
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "i18n/message.h"
#include "shell/records/history_record.h"

struct HookSettings {
    std::string onRunEnd;   // empty: none
    std::string onSetEnd;
    std::chrono::milliseconds timeout{30000};
};

using HookEnvironment = std::vector<std::pair<std::string, std::string>>;

// The environment a run's hook gets from its record.
HookEnvironment RunEndedEnvironment(const HistoryRecord& record);

class CRunHooks {
public:
    // `warn` says a hook's failure (called on the hook's own thread).
    CRunHooks(HookSettings settings, std::function<void(const Message&)> warn);
    // Waits for the hooks still running, each at most until its time limit.
    ~CRunHooks();
    CRunHooks(const CRunHooks&) = delete;
    CRunHooks& operator=(const CRunHooks&) = delete;

    // After a record was written: `line` is its JSON line, as in the history.
    void RunEnded(const std::string& line, const HistoryRecord& record);
    // A set or the station has ended with these counts ("updated", "3"), ...
    void SetEnded(const std::vector<std::pair<std::string, int>>& counts);

private:
    struct Watch;
    void Start(const std::string& command, std::string input, const HookEnvironment& environment,
               const char* event);

    HookSettings m_settings;
    std::function<void(const Message&)> m_warn;
    std::mutex m_lock;
    std::vector<std::unique_ptr<Watch>> m_watches;
};

// The platform's part: starts `command` with `environment` added to the
// program's, `input` on its standard input, and waits for it within
// `timeout`, ending it at its end. Empty when it ran and exited 0, else why
// not (its status, its time limit, why it could not start).
Message RunHookCommand(const std::string& command, const std::string& input, const HookEnvironment& environment,
                       std::chrono::milliseconds timeout);
