// SPDX-License-Identifier: GPL-3.0-or-later
// The system log entry of a run, as data: its one line and its fields.
#include "shell/records/system_log.h"

#include <cstdint>

#include "device/safe_text.h"
#include "i18n/json_text.h"

namespace {

std::string Shown(const HistoryRecord& record, HistoryField field, const char* unknown = "?")
{
    return record[field] ? SafeText(*record[field], 200) : std::string(unknown);
}

std::string UpperCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

}  // namespace

bool RunFailed(const HistoryRecord& record)
{
    const std::string result = record[kResult].value_or("");
    return result != "updated" && result != "current" && result != "checked";
}

std::string RunLogMessage(const HistoryRecord& record)
{
    // The calculator by the name the class knows it by, when it has one.
    const HistoryField who = record[kUsbSerial] ? kUsbSerial : kDevice;
    const std::string where = (who == kUsbSerial ? "serial " : "at ") + Shown(record, who);
    const std::string named = record[kLabel] ? "\"" + Shown(record, kLabel) + "\" (" + where + ")" : where;
    std::string line = Shown(record, kResult) + ": " + Shown(record, kModel, "calculator") + " " + named + ", OS " +
                       Shown(record, kOsBefore) + ", image " + Shown(record, kOsImage) + ", on " +
                       Shown(record, kHost);
    if (record[kReason]) {
        line += ": " + Shown(record, kReason);
    }
    return line;
}

std::vector<SystemLogField> JournalFields(const HistoryRecord& record, const std::string& line)
{
    std::vector<SystemLogField> fields = {
        {"MESSAGE_ID", kRunMessageId},
        {"MESSAGE", RunLogMessage(record)},
        {"PRIORITY", !RunFailed(record) ? "6" : record[kResult] == "unsupported" ? "4" : "3"},   // info, warning, err
        {"SYSLOG_IDENTIFIER", kSystemLogIdentifier},
    };
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        if (record.fields[f]) {
            // Escaped as the message is: a journal reader shows the fields
            // too, and they hold what the calculator and the system said.
            fields.push_back({"ZENTRIX_" + UpperCase(kHistoryFieldNames[f]), SafeLine(*record.fields[f])});
        }
    }
    fields.push_back({kRecordFieldName, line});
    return fields;
}

std::string CeeMessage(const HistoryRecord& record, const std::string& line)
{
    const std::string rest = line.size() > 2 && line.front() == '{' ? ", " + line.substr(1) : "}";
    return std::string(kCeeCookie) + " {\"msg\": " + JsonString(RunLogMessage(record)) + rest;
}

std::string JournalDatagram(const std::vector<SystemLogField>& fields)
{
    std::string datagram;
    for (const SystemLogField& field : fields) {
        datagram += field.name;
        if (field.value.find('\n') == std::string::npos) {
            datagram += '=' + field.value + '\n';
            continue;
        }
        datagram += '\n';
        uint64_t size = field.value.size();
        for (int i = 0; i < 8; ++i, size >>= 8) {
            datagram += static_cast<char>(size & 0xFF);
        }
        datagram += field.value + '\n';
    }
    return datagram;
}
