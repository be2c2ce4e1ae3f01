// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/problem_report.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "device/safe_text.h"
#include "device/trace_file.h"
#include "i18n/message.h"
#include "shell/history.h"
#include "shell/history_reader.h"

namespace {

constexpr const char* kOption = "--report-problem";

// The last record of the history at `path`, as its JSON line; a line saying
// why when there is none.
std::string LastRecordText(const std::string& path)
{
    CHistoryReader reader;
    Message problem;
    if (path.empty() || !std::filesystem::exists(path) || !reader.Open(path, problem)) {
        return "(no history: no run has been recorded on this computer)\n";
    }
    // Read a line at a time, whatever the history's size: only the last
    // record is kept.
    HistoryRecord record;
    std::optional<HistoryRecord> last;
    while (reader.Next(record)) {
        last = std::move(record);
    }
    if (!last) {
        return "(the history holds no record that can be read)\n";
    }
    return FormatHistoryLine(*last) + "\n";
}

class ReportFile {
public:
    explicit ReportFile(const std::string& path) : m_path(path) { m_file = OpenTraceFile(path.c_str(), true, m_why); }
    ~ReportFile()
    {
        if (m_file != kNoTraceFile) {
            CloseTraceFile(m_file);
        }
    }
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    bool Put(const std::string& text)
    {
        if (m_file == kNoTraceFile || text.empty()) {
            return m_file != kNoTraceFile;
        }
        const uint32_t error = WriteTraceFile(m_file, text.data(), text.size());
        if (error != 0) {
            m_why = std::strerror(static_cast<int>(error));
            CloseTraceFile(m_file);
            m_file = kNoTraceFile;
        }
        return error == 0;
    }
    // The last run's trace, in pieces: it may be large.
    bool PutFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (path.empty() || !in) {
            return Put("(no trace: no run has reached a calculator since traces were kept)\n");
        }
        std::string piece(64 * 1024, '\0');
        while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
            if (!Put(piece.substr(0, static_cast<size_t>(in.gcount())))) {
                return false;
            }
        }
        return true;
    }
    const std::string& Why() const { return m_why; }

private:
    std::string m_path;
    std::string m_why;
    intptr_t m_file = kNoTraceFile;
};

}  // namespace

bool AsksForProblemReport(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument == kOption || argument.rfind(std::string(kOption) + "=", 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string ProblemReportFile(const std::vector<std::string>& arguments)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind(std::string(kOption) + "=", 0) == 0 && argument.size() > std::string(kOption).size() + 1) {
            return argument.substr(std::string(kOption).size() + 1);
        }
        if (argument == kOption && i + 1 < arguments.size() && !arguments[i + 1].empty() &&
            arguments[i + 1][0] != '-') {
            return arguments[i + 1];
        }
    }
    return kDefaultProblemReportFile;
}

bool WriteProblemReport(const std::string& file, const ProblemReportParts& parts, Message& problem)
{
    ReportFile report(file);
    const bool written =
        report.Put("Zentrix OS Update problem report\n"
                   "program: zentrix-update " + parts.programVersion + "\n"
                   "platform: " + parts.platform + "\n"
                   "made: " + IsoUtc(std::chrono::system_clock::now()) + "\n"
                   "\n[last run's record]\n" + LastRecordText(parts.historyPath) +
                   "\n[devices]\n" + parts.deviceListing +
                   "\n[last run's trace] (zentrix-calc-sim --replay THIS-FILE plays it back)\n") &&
        report.PutFile(parts.lastRunTrace);
    if (!written) {
        problem = Message(N_("cannot write the problem report %s: %s"), {SafeText(file), report.Why()});
    }
    return written;
}
