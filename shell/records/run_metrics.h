// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's state for monitoring: a file in Prometheus' text format
// (what node_exporter's textfile collector reads), rewritten whole after
// every change through a new file renamed over it, never through a link:
//   zentrix_update_runs_total{result="..."}            runs that reached a calculator, by result
//   zentrix_update_calculators_updating                runs under way now
//   zentrix_update_last_run_end_timestamp_seconds{result="..."}
//   zentrix_update_image_info{version="...",sha256="..."} 1   the OS image last sent or compared
//   zentrix_update_station_up                          1 while the program runs, 0 once it ended
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "i18n/message.h"
#include "update/run_values.h"

// What the file says.
struct RunMetricsState {
    std::map<std::string, uint64_t> runs;   // by result word (every word, 0 included)
    std::map<std::string, int64_t> lastEnd; // seconds since the epoch, by result word
    int updating = 0;
    std::string imageVersion;
    std::string imageSha256;
    bool up = true;
};

// The file's text for `state`.
std::string RunMetricsText(const RunMetricsState& state);

class CRunMetrics {
public:
    // Writes the file at once (the program is up, nothing run yet).
    explicit CRunMetrics(std::string path);

    // Each rewrites the file; empty on success, else why not (each caller
    // says it once: the next change tries again).
    Message RunStarted();
    Message RunEnded(const UpdateOutcome& outcome, std::chrono::system_clock::time_point ended);
    Message Ended();
    // Why the first write, made by the constructor, failed; empty when it did not.
    const Message& FirstProblem() const { return m_firstProblem; }

private:
    Message Write();   // under m_lock

    std::string m_path;
    std::mutex m_lock;
    RunMetricsState m_state;
    Message m_firstProblem;
};
