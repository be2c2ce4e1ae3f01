// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/retry_list.h"

#include <algorithm>

#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "shell/reports/history_reader.h"

namespace {

std::string Field(const HistoryRecord& record, HistoryField field) { return record[field].value_or(""); }

RetryTarget TargetOf(const HistoryRecord& record)
{
    return {Field(record, kUsbSerial), Field(record, kLabel), Field(record, kUsbPort), Field(record, kDevice)};
}

// Whether two namings are of one calculator: by the first of serial,
// label, port and path that `target` has.
bool Same(const RetryTarget& target, const RetryTarget& other)
{
    if (!target.serial.empty()) {
        return target.serial == other.serial;
    }
    if (!target.label.empty()) {
        return target.label == other.label;
    }
    if (!target.port.empty()) {
        return target.port == other.port;
    }
    return !target.path.empty() && target.path == other.path;
}

// The last word on each calculator of a set, in the order they came.
class CLastWords {
public:
    void Take(const HistoryRecord& record)
    {
        const RetryTarget target = TargetOf(record);
        const std::string result = Field(record, kResult);
        const bool done = result == "updated" || result == "current";
        const auto it = std::find_if(m_seen.begin(), m_seen.end(), [&](const Seen& s) { return Same(s.target, target); });
        if (it == m_seen.end()) {
            m_seen.push_back({target, done});
        } else {
            it->done = done;
        }
    }
    std::vector<RetryTarget> NotDone() const
    {
        std::vector<RetryTarget> targets;
        for (const Seen& s : m_seen) {
            if (!s.done) {
                targets.push_back(s.target);
            }
        }
        return targets;
    }

private:
    struct Seen {
        RetryTarget target;
        bool done;
    };
    std::vector<Seen> m_seen;
};

}  // namespace

bool ReadRetryList(const std::string& path, const std::string& which, RetryList& list, Message& problem)
{
    list = {};
    std::string setId = which;
    if (which == "last") {
        setId.clear();
        CHistoryReader reader;
        if (!reader.Open(path, problem)) {
            return false;
        }
        for (HistoryRecord record; reader.Next(record);) {
            if (record[kSetId] && !record[kSetId]->empty()) {
                setId = *record[kSetId];
            }
        }
        if (setId.empty()) {
            problem = Message(N_("the history holds no set to do again: update a set with --all or --watch first"));
            return false;
        }
    }
    CHistoryReader reader;
    if (!reader.Open(path, problem)) {
        return false;
    }
    CLastWords words;
    bool found = false;
    for (HistoryRecord record; reader.Next(record);) {
        if (record[kSetId].value_or("") == setId) {
            found = true;
            words.Take(record);
        }
    }
    if (!found) {
        problem = Message(N_("the history holds no record of the set %s"), {SafeText(setId)});
        return false;
    }
    list.setId = setId;
    list.targets = words.NotDone();
    return true;
}

int RetryTargetOf(const RetryList& list, const UsbLocation& usb, const std::string& path)
{
    const RetryTarget calculator{usb.serial, usb.label, usb.port, path};
    for (size_t i = 0; i < list.targets.size(); ++i) {
        if (Same(list.targets[i], calculator)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
