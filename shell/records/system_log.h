// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Each run's record also goes to the system log, where a district's log
// pipeline collects it: on Linux one journal entry (the journal's native
// protocol, spoken directly) with a fixed MESSAGE_ID, the record's fields
// as ZENTRIX_* fields, a one-line MESSAGE and the history line itself in
// ZENTRIX_RECORD; without a journal, the same one line to the syslog
// socket as syslog(3) would send it, its message the record after the
// "@cee:" cookie that rsyslog's mmjsonparse reads fields from. Neither
// waits for a reader: an entry the log cannot take at once is dropped (one
// warning). On Windows one event in the Application log with the line as
// its second text and its data.
// Entries are in English whatever the user's language, like the history.
#include <string>

#include "i18n/message.h"
#include <vector>

#include "shell/records/history_record.h"

// The MESSAGE_ID of every run's entry (`journalctl MESSAGE_ID=...`).
inline constexpr const char* kRunMessageId = "5c7e2a0f9b3d4e61a8f04c2d19b6e735";
// The field holding the history line, which a journal export is read by.
inline constexpr const char* kRecordFieldName = "ZENTRIX_RECORD";
// The program's name in the log (SYSLOG_IDENTIFIER, the event source).
inline constexpr const char* kSystemLogIdentifier = "zentrix-update";
// What comes before the record in a syslog message.
inline constexpr const char* kCeeCookie = "@cee:";

// Where a run's entry goes on Linux: the journal where one listens, else
// syslog; or syslog alone (a district whose pipeline is rsyslog, fed from
// the journal's syslog socket where there is a journal).
enum class SystemLogRoute { JournalFirst, SyslogOnly };

struct SystemLogField {
    std::string name;
    std::string value;
};

// The run as one readable line: result, calculator, OS before and image,
// host, and the reason of a run that failed. Control bytes are escaped.
std::string RunLogMessage(const HistoryRecord& record);

// Whether the run's entry is an error: the calculator was neither updated
// nor found current.
bool RunFailed(const HistoryRecord& record);

// The journal entry's fields: MESSAGE_ID, MESSAGE, PRIORITY,
// SYSLOG_IDENTIFIER, a ZENTRIX_<NAME> per known field of the record, and
// ZENTRIX_RECORD = `line`.
std::vector<SystemLogField> JournalFields(const HistoryRecord& record, const std::string& line);

// The syslog message of a run: the cookie, then the record (`line`) with
// the run's one line as its first member "msg", as one JSON object.
std::string CeeMessage(const HistoryRecord& record, const std::string& line);

// The fields as one datagram of the journal's native protocol: NAME=value
// and a line feed, or, for a value holding a line feed, NAME, a line feed,
// the value's length as 64-bit little-endian, the value and a line feed.
std::string JournalDatagram(const std::vector<SystemLogField>& fields);

// The platform's part: writes the run's entry. False with `problem`
// (English) when the system log could not take it.
bool WriteSystemLog(const HistoryRecord& record, const std::string& line, Message& problem,
                    SystemLogRoute route = SystemLogRoute::JournalFirst);
