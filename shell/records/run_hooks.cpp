// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/records/run_hooks.h"

#include <atomic>

#include "i18n/json_text.h"

struct CRunHooks::Watch {
    std::thread thread;
    std::atomic<bool> done{false};
};

HookEnvironment RunEndedEnvironment(const HistoryRecord& record)
{
    const std::pair<const char*, HistoryField> named[] = {
        {"ZENTRIX_RESULT", kResult},       {"ZENTRIX_DEVICE", kDevice},     {"ZENTRIX_USB_SERIAL", kUsbSerial},
        {"ZENTRIX_USB_PORT", kUsbPort},    {"ZENTRIX_LABEL", kLabel},       {"ZENTRIX_OS_BEFORE", kOsBefore},
        {"ZENTRIX_OS_IMAGE", kOsImage},    {"ZENTRIX_REASON", kReason},     {"ZENTRIX_MODE", kMode},
        {"ZENTRIX_REASON_CODE", kReasonCode}, {"ZENTRIX_OS_AFTER", kOsAfter}, {"ZENTRIX_CONFIRMED", kConfirmed},
        {"ZENTRIX_SET_ID", kSetId},        {"ZENTRIX_SITE", kSite},         {"ZENTRIX_STATION", kStation},
        {"ZENTRIX_ASSET_TAG", kAssetTag},
    };
    HookEnvironment environment = {{"ZENTRIX_EVENT", "run-ended"}};
    for (const auto& [name, field] : named) {
        environment.emplace_back(name, record[field].value_or(""));
    }
    return environment;
}

CRunHooks::CRunHooks(HookSettings settings, std::function<void(const Message&)> warn)
    : m_settings(std::move(settings)), m_warn(std::move(warn))
{
}

CRunHooks::~CRunHooks()
{
    std::vector<std::unique_ptr<Watch>> watches;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        watches.swap(m_watches);
    }
    for (const std::unique_ptr<Watch>& watch : watches) {
        watch->thread.join();
    }
}

void CRunHooks::RunEnded(const std::string& line, const HistoryRecord& record)
{
    if (!m_settings.onRunEnd.empty()) {
        Start(m_settings.onRunEnd, line + "\n", RunEndedEnvironment(record), "on-run-end");
    }
}

void CRunHooks::SetEnded(const std::vector<std::pair<std::string, int>>& counts)
{
    if (m_settings.onSetEnd.empty()) {
        return;
    }
    std::string line = "{\"event\": \"set-ended\"";
    HookEnvironment environment = {{"ZENTRIX_EVENT", "set-ended"}};
    for (const auto& [name, count] : counts) {
        line += ", ";
        AppendJsonString(line, name);
        line += ": " + std::to_string(count);
        std::string variable = "ZENTRIX_";
        for (const char c : name) {
            variable += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c == '-' ? '_' : c;
        }
        environment.emplace_back(variable, std::to_string(count));
    }
    Start(m_settings.onSetEnd, line + "}\n", environment, "on-set-end");
}

void CRunHooks::Start(const std::string& command, std::string input, const HookEnvironment& environment,
                      const char* event)
{
    auto watch = std::make_unique<Watch>();
    Watch* const mine = watch.get();
    const std::lock_guard<std::mutex> hold(m_lock);
    // The threads of hooks that have ended are done with.
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
    mine->thread = std::thread([this, mine, command, input = std::move(input), environment, event] {
        const Message problem = RunHookCommand(command, input, environment, m_settings.timeout);
        if (!problem.Empty() && m_warn) {
            m_warn(Message(N_("the %s command did not succeed: %s; the result stays as it is"),
                           {std::string(event), problem}));
        }
        mine->done = true;
    });
    m_watches.push_back(std::move(watch));
}
