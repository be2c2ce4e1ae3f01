// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A history record: the fields of one update run, and its line in the
// history file (one JSON object).
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "i18n/json_text.h"

// The fields of a record, in the order they are written. `reason` is the
// reason in English; `reason_message` the same reason as the message it
// was made from (stored_message.h), so that it can be shown in any
// language. Records written before it was kept have none: their English
// reason is shown as it is. It is left out of the CSV, whose reason column
// is the English text. `reason_code` is the reason as one word of a fixed
// set (ReasonCodeWord), the same in every language. `os_after` and
// `confirmed` say what an updated calculator reported after its restart;
// `set_id` names the set or station session a run belonged to, `retry_of`
// the set whose failures it did again. `site` and `station` are the
// machine's place as its administrator named it, `asset_tag` the
// calculator's tag in the inventory.
enum HistoryField {
    kStarted, kEnded, kDevice, kUsbSerial, kUsbPort, kModel, kOsBefore, kOsImage,
    kRoute, kBlockSize, kResult, kReason, kMode, kHost, kProgramVersion, kReasonMessage,
    kNeedsUpdate, kImageSha256, kStubSha256, kLabel, kReasonCode, kOsAfter, kConfirmed, kSetId, kRetryOf,
    kSite, kStation, kAssetTag,
    kHistoryFieldCount
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
