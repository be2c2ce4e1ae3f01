// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history: one record per update run, one JSON object a line, appended
// to history.jsonl in the user's state folder. Several programs may append
// at once; each line is written whole under a lock and on the disk before
// the run's result is shown.
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "i18n/message.h"
#include <string_view>

#include "shell/stop_requests.h"
#include "update/run_update.h"

// The fields of a record, in the order they are written. `reason` is the
// reason in English; `reason_message` the same reason as the message it
// was made from (stored_message.h), so that it can be shown in any
// language. Records written before it was kept have none: their English
// reason is shown as it is. It is left out of the CSV, whose reason column
// is the English text.
enum HistoryField {
    kStarted, kEnded, kDevice, kUsbSerial, kUsbPort, kModel, kOsBefore, kOsImage,
    kRoute, kBlockSize, kResult, kReason, kMode, kHost, kProgramVersion, kReasonMessage,
    kNeedsUpdate, kImageSha256, kStubSha256, kLabel, kHistoryFieldCount
};

// The JSON names of the fields, in HistoryField order.
extern const std::array<const char*, kHistoryFieldCount> kHistoryFieldNames;

// A record: every field is a text or null. block_size is written as a
// number, its text the number's digits; needs_update as true or false when
// its text is one of them. Records written before a field existed read it
// as null.
struct HistoryRecord {
    std::array<std::optional<std::string>, kHistoryFieldCount> fields;
    const std::optional<std::string>& operator[](HistoryField field) const { return fields[field]; }
};

// A text as a JSON string: quoted, control characters as \u00XX, and valid
// UTF-8 whatever the bytes were (a byte that is not part of a valid
// sequence becomes U+FFFD).
std::string JsonString(std::string_view text);

// The record as one JSON object, without a line feed.
std::string FormatHistoryLine(const HistoryRecord& record);

// Reads one line written by FormatHistoryLine (or any flat JSON object:
// unknown names are skipped, missing ones are null). False when the line is
// not a whole JSON object of texts, numbers, true, false and null.
bool ParseHistoryLine(std::string_view line, HistoryRecord& record);

// What a line of a history file or of a journal export is: a record (the
// line itself, or the ZENTRIX_RECORD field of a journal entry with the
// program's MESSAGE_ID, its host the one the journal recorded in
// _HOSTNAME), another of the journal's entries, or neither.
enum class LineKind { Record, OtherJournalEntry, Bad };
LineKind ReadRecordLine(std::string_view line, HistoryRecord& record);

// A time as ISO 8601 UTC to the second: "2026-12-07T19:35:25Z".
std::string IsoUtc(std::chrono::system_clock::time_point time);

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
    // The process's runs append one at a time, each waiting its turn here
    // however long, so that a lock found busy is always another program's;
    // every copy of the settings shares it.
    std::shared_ptr<std::mutex> writer = std::make_shared<std::mutex>();
};

// $XDG_STATE_HOME/zentrix-update/history.jsonl, else the same under
// ~/.local/state; %LOCALAPPDATA%\zentrix-update\history.jsonl on Windows.
// Empty when the environment names no such folder.
std::string HistoryFilePath();

// The record of one run that ended with `outcome`.
HistoryRecord MakeHistoryRecord(const UpdateOutcome& outcome, std::chrono::system_clock::time_point started,
                                std::chrono::system_clock::time_point ended, const char* mode,
                                const std::string& programVersion);

// Appends the record of one run (one line, under the lock, on the disk)
// and, when the settings ask for it, writes it to the system log; a history
// that cannot be written is one warning through `port`, as is a system log
// that cannot take the entry; neither changes the run's result. Returns
// the record, made whether or not it is kept.
HistoryRecord RecordRun(const HistorySettings& settings, const char* mode, std::chrono::system_clock::time_point started,
               const UpdateOutcome& outcome, IUpdatePort& port);

// The platform's part. Appends `line` and a line feed to the file at `path`
// (made, with its folder, when missing; for the user's eyes only) under an
// exclusive lock, after a line feed of its own when the file's last line was
// left torn; flushed to the disk before it returns. A link or a file that is
// not a regular file is refused. A lock held by another program is waited
// for a few seconds at most, and no longer than `keepTrying` (may be empty)
// answers true. False with `problem` when it cannot.
bool AppendHistoryLine(const std::string& path, const std::string& line, const std::function<bool()>& keepTrying,
                       Message& problem);
// One try at the history's lock, as the platform's part makes it.
enum class LockTry { Taken, Busy, Failed };
// Tries `tryLock` again while another program holds the lock (Busy), for a
// few seconds at most and while `keepTrying` (may be empty) answers true.
// Busy when it gave up waiting.
LockTry RetryLock(const std::function<LockTry()>& tryLock, const std::function<bool()>& keepTrying);
// The name of this computer; empty when it cannot be had.
std::string HostName();
