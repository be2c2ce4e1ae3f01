// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/records/run_metrics.h"

#include <utility>

#include "device/safe_text.h"
#include "shell/files/safe_file.h"

namespace {

const char* const kResults[] = {"updated", "current", "unsupported", "failed", "checked"};

// A label's value: backslash, quote and line feed escaped, as the format asks.
std::string LabelValue(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        out += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return out;
}

void Family(std::string& out, const char* name, const char* type, const char* help)
{
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

std::string RunMetricsText(const RunMetricsState& state)
{
    std::string out;
    Family(out, "zentrix_update_runs_total", "counter", "Update runs that reached a calculator, by result.");
    for (const char* result : kResults) {
        const auto found = state.runs.find(result);
        out += std::string("zentrix_update_runs_total{result=\"") + result + "\"} " +
               std::to_string(found == state.runs.end() ? 0 : found->second) + "\n";
    }
    Family(out, "zentrix_update_calculators_updating", "gauge", "Update runs under way.");
    out += "zentrix_update_calculators_updating " + std::to_string(state.updating) + "\n";
    if (!state.lastEnd.empty()) {
        Family(out, "zentrix_update_last_run_end_timestamp_seconds", "gauge",
               "When the last run with each result ended, in seconds since the epoch.");
        for (const auto& [result, seconds] : state.lastEnd) {
            out += "zentrix_update_last_run_end_timestamp_seconds{result=\"" + LabelValue(result) + "\"} " +
                   std::to_string(seconds) + "\n";
        }
    }
    if (!state.imageSha256.empty()) {
        Family(out, "zentrix_update_image_info", "gauge", "The OS image last sent or compared with.");
        out += "zentrix_update_image_info{version=\"" + LabelValue(state.imageVersion) + "\",sha256=\"" +
               LabelValue(state.imageSha256) + "\"} 1\n";
    }
    Family(out, "zentrix_update_station_up", "gauge", "1 while the program runs, 0 once it has ended.");
    out += std::string("zentrix_update_station_up ") + (state.up ? "1" : "0") + "\n";
    return out;
}

CRunMetrics::CRunMetrics(std::string path) : m_path(std::move(path))
{
    const std::lock_guard hold(m_lock);
    m_firstProblem = Write();
}

Message CRunMetrics::RunStarted()
{
    const std::lock_guard hold(m_lock);
    ++m_state.updating;
    return Write();
}

Message CRunMetrics::RunEnded(const UpdateOutcome& outcome, std::chrono::system_clock::time_point ended)
{
    const std::lock_guard hold(m_lock);
    m_state.updating = m_state.updating > 0 ? m_state.updating - 1 : 0;
    if (outcome.facts.opened) {
        const std::string result = ResultWord(outcome.result);
        ++m_state.runs[result];
        m_state.lastEnd[result] = std::chrono::duration_cast<std::chrono::seconds>(ended.time_since_epoch()).count();
        if (!outcome.facts.imageSha256.empty()) {
            // The version as the image's header gives it, made printable.
            m_state.imageVersion = SafeText(outcome.facts.osImage, 40);
            m_state.imageSha256 = outcome.facts.imageSha256;
        }
    }
    return Write();
}

Message CRunMetrics::Ended()
{
    const std::lock_guard hold(m_lock);
    m_state.up = false;
    return Write();
}

Message CRunMetrics::Write()
{
    std::string why;
    unsigned mode = 0644;   // read by the monitoring's own user
    std::string ignored;
    const WriteTarget target = InspectWriteTarget(m_path, mode, ignored);
    if (target == WriteTarget::Link || target == WriteTarget::NotPlain) {
        return Message(N_("the metrics file %s is a link or not a file; it is not written"), {SafeText(m_path)});
    }
    CReplacingFile file(m_path);
    if (!file.Open(why, 0644) || !file.Write(RunMetricsText(m_state), why) || !file.Commit(why)) {
        return Message(N_("cannot write the metrics file %s: %s"), {SafeText(m_path), why});
    }
    return {};
}
