// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The station's rows as they are now, for someone who is not at its window
// (an administrator on SSH reads them with --station-status): one file in
// the station's runtime folder, rewritten whole (a new file renamed over
// it, never through a link) at most about once a second while rows change,
// by a thread of its own, so that no row waits for the disk; removed when
// the station ends.
//
// The file is JSON Lines, every value a string: first the station
//   {"pid": "...", "written": "2026-12-10T21:40:27Z", "heading": "...", "heading_message": "..."}
// then one line a row
//   {"name": "...", "name_message": "...", "phase": "...", "phase_message": "...",
//    "percent": "42", "silent_seconds": "12" (or ""), "finished": "yes" or "no"}
// (the *_message fields: the text in its stored form, shown in the
// reader's language; the others in English).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "i18n/message.h"

struct StationStatusRow {
    Message name;
    Message phase;        // the phase under way, or the result once finished
    int percent = 0;
    std::optional<uint32_t> silentSeconds;   // not answering for so long
    bool finished = false;
};

struct StationStatus {
    int64_t pid = 0;
    std::chrono::system_clock::time_point written;
    Message heading;
    std::vector<StationStatusRow> rows;
};

// The file's text.
std::string StationStatusText(const StationStatus& status);

// Where a station keeps its status file: the service's runtime folder
// ($RUNTIME_DIRECTORY, which the service manager makes; readable by all),
// else the user's ($XDG_RUNTIME_DIR; %LOCALAPPDATA%\zentrix-update on
// Windows; the user's alone). Nothing when the environment names neither.
struct StationStatusPlace {
    std::string path;
    unsigned mode = 0600;
};
std::optional<StationStatusPlace> StationStatusPlaceFor(const char* runtimeDirectory, const char* userRuntimeDir);
// Where --station-status looks, in order: $RUNTIME_DIRECTORY's, the
// service's own folder (/run/zentrix-update-station), then the user's.
std::vector<std::string> StationStatusCandidates(const char* runtimeDirectory, const char* userRuntimeDir);

// This process's number, and whether the process of a number runs.
int64_t ThisProcessId();
bool ProcessRunning(int64_t pid);

class CStationStatusFile {
public:
    // Writes the file at once (the station is up, no row yet); `mode`: its
    // permissions where the system has them.
    CStationStatusFile(std::string path, unsigned mode);
    // Stops the writer and removes the file.
    ~CStationStatusFile();
    CStationStatusFile(const CStationStatusFile&) = delete;
    CStationStatusFile& operator=(const CStationStatusFile&) = delete;

    // Hands the rows now to the writer; never waits for the disk.
    void Publish(Message heading, std::vector<StationStatusRow> rows);
    // Why the first write, made by the constructor, failed; empty when it did not.
    const Message& FirstProblem() const { return m_firstProblem; }

private:
    Message Write(const StationStatus& status) const;
    void WriteChanges();

    std::string m_path;
    unsigned m_mode;
    Message m_firstProblem;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::optional<StationStatus> m_waiting;   // published, not yet written
    bool m_stopping = false;
    std::thread m_writer;
};
