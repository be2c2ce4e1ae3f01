// SPDX-License-Identifier: GPL-3.0-or-later
// The problem report: its parts put together, the user's home folder
// hidden, written to a new file or to standard output.
#include "shell/reports/problem_report.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>

#include "device/channel_trace.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/records/history_record.h"
#include "shell/reports/history_reader.h"
#include "shell/files/safe_file.h"

namespace {

using ReportOut = std::function<bool(std::string_view)>;

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

// Whether `c` ends a folder's name rather than goes on with it.
bool EndsName(char c)
{
    const bool nameCharacter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                               c == '.' || c == '_' || c == '-' || static_cast<unsigned char>(c) >= 0x80;
    return !nameCharacter;
}

// The report's text on its way out, with the user's home folder written as
// "~" wherever it appears. A piece may end inside the folder's name: that
// end is held back until the next piece tells.
class CHomeHidden {
public:
    CHomeHidden(std::string home, ReportOut out) : m_home(std::move(home)), m_out(std::move(out))
    {
        while (!m_home.empty() && (m_home.back() == '/' || m_home.back() == '\\')) {
            m_home.pop_back();
        }
    }

    bool Put(std::string_view text)
    {
        if (m_home.size() < 2) {
            return m_out(text);
        }
        m_held += text;
        std::string shown;
        size_t from = 0;
        for (size_t at = m_held.find(m_home); at != std::string::npos; at = m_held.find(m_home, from)) {
            const size_t end = at + m_home.size();
            if (end == m_held.size()) {
                break;   // the next byte decides
            }
            shown.append(m_held, from, at - from);
            shown += EndsName(m_held[end]) ? std::string("~") : m_home;
            from = end;
        }
        const size_t kept = std::min(m_held.size() - from, m_home.size());
        shown.append(m_held, from, m_held.size() - from - kept);
        m_held.erase(0, m_held.size() - kept);
        return shown.empty() || m_out(shown);
    }

    bool Finish() { return m_held.empty() || m_out(m_held == m_home ? std::string("~") : m_held); }

private:
    std::string m_home;
    ReportOut m_out;
    std::string m_held;
};

// The last run's trace, read as a regular file up to its cap.
bool PutTrace(const std::string& path, CHomeHidden& report)
{
    bool put = true;
    std::string why;
    const FileRead read = ReadRegularFile(path, kLastRunTraceCap, [&](std::string_view piece) {
        put = report.Put(piece);
        return put;
    }, why);
    switch (read) {
    case FileRead::Read: return put;
    case FileRead::Missing: return report.Put("(no trace: no run has reached a calculator since traces were kept)\n");
    case FileRead::Refused: return report.Put("(no trace: " + SafeText(path) + " is not read: " + why + ")\n");
    }
    return put;
}

bool PutReport(const ProblemReportParts& parts, const ReportOut& out)
{
    CHomeHidden report(parts.home, out);
    return report.Put("Zentrix OS Update problem report\n"
                      "program: zentrix-update " + parts.programVersion + "\n"
                      "platform: " + parts.platform + "\n"
                      "made: " + IsoUtc(std::chrono::system_clock::now()) + "\n"
                      "\n[last run's record]\n" + LastRecordText(parts.historyPath) +
                      "\n[devices]\n" + parts.deviceListing +
                      "\n[last run's trace] (zentrix-calc-sim --replay THIS-FILE plays it back)\n") &&
           PutTrace(parts.lastRunTrace, report) && report.Finish();
}

}  // namespace

bool WriteProblemReport(const std::string& file, const ProblemReportParts& parts, Message& problem)
{
    CReplacingFile report(file);
    std::string why;
    const bool written = report.Open(why) &&
                         PutReport(parts, [&](std::string_view piece) { return report.Write(piece, why); }) &&
                         report.Commit(why);
    if (!written) {
        problem = Message(N_("cannot write the problem report %s: %s"), {SafeText(file), why});
    }
    return written;
}

bool PrintProblemReport(std::ostream& out, const ProblemReportParts& parts, Message& problem)
{
    const bool written = PutReport(parts, [&out](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        return out.good();
    }) && out.flush().good();
    if (!written) {
        problem = Message(N_("cannot write the problem report to standard output"));
    }
    return written;
}
