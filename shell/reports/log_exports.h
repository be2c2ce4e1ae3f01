// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records in the files other log pipelines keep, beside history lines and
// journal exports:
// - a syslog file's line (rsyslog's traditional time "Dec 11 07:00:00" or
//   an RFC 3339 one, then the host and the tag) whose message is the
//   program's "@cee:" record;
// - one event of a Windows event export (`wevtutil qe ... /f:xml`, or
//   `/f:RenderedXml`, or a saved selection of Event Viewer), the record in
//   its event data.
// As for a journal export, the host is the one the log recorded: the
// syslog line's host, the event's <Computer>. Only the program's own
// entries are runs (its tag, its event source and event ID).
#include <string_view>

#include "shell/records/history_record.h"

// A line of a syslog file: a record; another entry (another program's, or
// one of this program's without a record); Bad when it is no syslog line or
// its record cannot be read.
LineKind ReadSyslogLine(std::string_view line, HistoryRecord& record);

// One exported event, from "<Event" through "</Event>": a record, another
// source's event, or Bad when it is the program's and holds no record.
LineKind ReadExportedEvent(std::string_view event, HistoryRecord& record);
