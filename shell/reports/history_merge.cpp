// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/history_merge.h"

#include <filesystem>
#include <string_view>

#include "device/safe_text.h"
#include "i18n/message.h"

namespace {

std::string_view Ended(const HistoryRecord& record)
{
    return record[kEnded] ? std::string_view(*record[kEnded]) : std::string_view();
}

std::string RunKey(const HistoryRecord& record)
{
    std::string key;
    for (size_t field = 0; field < kHistoryFieldCount; ++field) {
        const auto& value = record[static_cast<HistoryField>(field)];
        key += value ? "+" + *value : std::string("-");
        key += '\0';
    }
    return key;
}

// The latest a record of `source` can have ended: when its file was last
// changed, and a day after `now` at most.
std::string LatestTrueEnd(const HistorySource& source, std::chrono::system_clock::time_point now)
{
    auto latest = now + std::chrono::hours(24);
    std::error_code error;
    const auto changed = source.file == nullptr ? std::filesystem::last_write_time(source.name, error)
                                                : std::filesystem::file_time_type();
    if (source.file == nullptr && !error) {
        latest = std::min(latest, std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                                      std::chrono::file_clock::to_sys(changed)));
    }
    return IsoUtc(std::chrono::ceil<std::chrono::seconds>(latest));
}

}  // namespace

bool CHistoryMerge::Open(const std::vector<HistorySource>& sources, Message& problem,
                         std::chrono::system_clock::time_point now)
{
    m_inputs.clear();
    for (const HistorySource& source : sources) {
        Input input;
        input.name = source.name;
        input.latestTrue = LatestTrueEnd(source, now);
        input.reader = std::make_unique<CHistoryReader>();
        if (source.file != nullptr) {
            input.reader->Read(source.file);
        } else if (!input.reader->Open(source.name, problem)) {
            return false;
        }
        m_inputs.push_back(std::move(input));
    }
    for (Input& input : m_inputs) {
        Advance(input);
    }
    return true;
}

void CHistoryMerge::StopWhere(const CHistoryMerge& first)
{
    for (size_t i = 0; i < m_inputs.size() && i < first.m_inputs.size(); ++i) {
        m_inputs[i].reader->StopAt(first.m_inputs[i].reader->BytesRead());
    }
}

void CHistoryMerge::Advance(Input& input)
{
    input.has = input.reader->Next(input.next);
    if (!input.has) {
        return;
    }
    input.nextFutureDated = Ended(input.next) > input.latestTrue;
    if (input.nextFutureDated) {
        ++input.futureDated;
        input.order = input.lastEnded;   // where it was read
        return;
    }
    if (Ended(input.next) < input.lastEnded) {
        ++input.outOfOrder;
    } else {
        input.lastEnded = std::string(Ended(input.next));
    }
    input.order = std::string(Ended(input.next));
}

bool CHistoryMerge::SeenBefore(const HistoryRecord& record)
{
    if (Ended(record) != m_windowEnded) {
        m_windowEnded = std::string(Ended(record));
        m_window.clear();
    }
    return !m_window.insert(RunKey(record)).second;
}

bool CHistoryMerge::Next(HistoryRecord& record)
{
    for (;;) {
        Input* earliest = nullptr;
        for (Input& input : m_inputs) {
            if (input.has && (earliest == nullptr || input.order < earliest->order)) {
                earliest = &input;
            }
        }
        if (earliest == nullptr) {
            return false;
        }
        record = std::move(earliest->next);
        m_futureDated = earliest->nextFutureDated;
        Advance(*earliest);
        if (!SeenBefore(record)) {
            return true;
        }
        ++m_copies;
    }
}

std::vector<Message> CHistoryMerge::Warnings() const
{
    std::vector<Message> warnings;
    for (const Input& input : m_inputs) {
        const MessageArg name =
            input.name == "-" ? MessageArg(Message(N_("standard input"))) : MessageArg(SafeText(input.name));
        if (Message bad = BadLinesWarning(input.reader->BadLines(), name); !bad.Empty()) {
            warnings.push_back(std::move(bad));
        }
        if (input.outOfOrder > 0) {
            warnings.push_back(Message::Count("%s is not in time order: %d record is shown where it was read",
                                              "%s is not in time order: %d records are shown where they were read",
                                              input.outOfOrder, {name, std::to_string(input.outOfOrder)}));
        }
        if (input.futureDated > 0) {
            warnings.push_back(Message::Count(
                "%s holds %d record dated later than it can have been written; it is shown where it was read "
                "and never taken for its calculator's last run",
                "%s holds %d records dated later than they can have been written; they are shown where they were "
                "read and never taken for their calculators' last runs",
                input.futureDated, {name, std::to_string(input.futureDated)}));
        }
    }
    return warnings;
}
