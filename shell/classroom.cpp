// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/classroom.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "device/safe_text.h"
#include "shell/front_end.h"

namespace {

constexpr const char* kStarting = "Starting...";
constexpr const char* kStopText =
    "Updates are in progress. A calculator whose update is stopped has no working operating "
    "system until it is updated again.\r\n"
    "Do you want to stop them?";
constexpr const char* kStopCaption = "Warning";
constexpr unsigned kWarningOkCancel = MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2;
// A path is shown whole (the enumeration's paths are shorter) and escaped:
// no two rows look alike.
constexpr size_t kPathChars = 260;

// Offers one calculator: the path the classroom gave this run.
class CSingleDeviceSource : public IDeviceSource {
public:
    CSingleDeviceSource(IDeviceSource* system, std::string path) : m_system(system), m_path(std::move(path)) {}

    int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) override
    {
        if (index != 0 || size <= 0 || m_path.size() + 1 > static_cast<size_t>(size)) {
            return -1;
        }
        std::copy(m_path.begin(), m_path.end(), buffer);
        buffer[m_path.size()] = '\0';
        return 1;
    }
    std::unique_ptr<CUsbChannel> NewChannel() override { return m_system->NewChannel(); }
    std::string Describe() const override { return "the calculator at " + SafeText(m_path, kPathChars); }

private:
    IDeviceSource* m_system;
    std::string m_path;
};

bool IsUsbPath(const std::string& path)
{
    return path.rfind("usb:", 0) == 0;
}

}  // namespace

const char* ResultWord(UpdateResult result)
{
    switch (result) {
    case Success:
        return "updated";
    case AlreadyCurrent:
        return "current";
    case UnsupportedModel:
        return "unsupported";
    default:
        return "failed";
    }
}

namespace {

// The finished rows by result.
struct Tally {
    size_t finished = 0;
    size_t of[4] = {};
};

Tally TallyOf(const std::vector<ClassroomRow>& rows)
{
    Tally tally;
    for (const ClassroomRow& row : rows) {
        if (row.finished) {
            ++tally.finished;
            ++tally.of[row.result >= Success && row.result <= AlreadyCurrent ? row.result : Failed];
        }
    }
    return tally;
}

// The station's heading with its count so far.
std::string StationHeading(const std::vector<ClassroomRow>& rows)
{
    const Tally t = TallyOf(rows);
    return "Station: every calculator connected is updated at once; Close or Ctrl+C ends the station (" +
           std::to_string(t.of[Success]) + " updated, " + std::to_string(t.of[AlreadyCurrent]) + " current, " +
           (t.of[UnsupportedModel] > 0 ? std::to_string(t.of[UnsupportedModel]) + " not supported, " : "") +
           std::to_string(t.of[Failed]) + " failed so far)";
}

}  // namespace

std::string CountsText(const std::vector<ClassroomRow>& rows)
{
    const Tally t = TallyOf(rows);
    return std::to_string(t.finished) + (t.finished == 1 ? " calculator: " : " calculators: ") +
           std::to_string(t.of[Success]) + " updated, " + std::to_string(t.of[AlreadyCurrent]) +
           " already current, " + std::to_string(t.of[UnsupportedModel]) + " not supported, " +
           std::to_string(t.of[Failed]) + " failed.";
}

CRowPort::CRowPort(std::string device)
{
    m_row.device = SafeText(device, kPathChars);
    m_row.phase = kStarting;
}

void CRowPort::OpenProgress(const char* phaseText, int stepCount)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.phase = phaseText;
    m_bar.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, stepCount));
    m_bar.SendMessage(PBM_SETPOS, 0, 0);
    m_bar.SendMessage(PBM_SETSTEP, 1, 0);
}

void CRowPort::StepProgress()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_bar.SendMessage(PBM_STEPIT, 0, 0);
}

void CRowPort::SetProgressPos(int pos)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_bar.SendMessage(PBM_SETPOS, static_cast<uintptr_t>(pos), 0);
}

void CRowPort::SetProgressRange(int upper)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_bar.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, upper));
}

void CRowPort::CloseProgress()
{
    // The phase text stays until the next phase or the result replaces it.
}

void CRowPort::Warn(const std::string& text)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.warning = SafeLine(text);
}

bool CRowPort::KeepWaiting(const ReplyWait& wait)
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_row.silent = wait.endable;
    }
    return !m_abandon;
}

void CRowPort::Finish(const UpdateOutcome& outcome)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.result = outcome.result;
    m_row.resultWord = ResultWord(outcome.result);
    m_row.reason = SafeLine(outcome.reason);   // whoever made it, one line and no escapes
    m_row.silent = false;
    m_row.finished = true;
    m_finished = true;
}

ClassroomRow CRowPort::Row() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    ClassroomRow row = m_row;
    row.pos = m_bar.Pos() - m_bar.Lower();
    row.upper = m_bar.Upper() - m_bar.Lower();
    return row;
}

struct CClassroom::Run {
    Run(IDeviceSource* system, const std::string& device) : port(device), source(system, device), path(device) {}
    CRowPort port;
    CSingleDeviceSource source;
    std::string path;
    std::thread thread;
    bool endShown = false;   // its result has been drawn at least once
};

CClassroom::CClassroom(Inputs inputs) : m_in(std::move(inputs)) {}

CClassroom::~CClassroom()
{
    AbandonAll();
    WaitForAll();
}

std::vector<std::string> CClassroom::Offered(bool presentOnly) const
{
    std::vector<std::string> paths;
    char buffer[260] = {};
    // An enumeration that does not end is cut off well past any class set.
    int32_t index = 0;
    for (int32_t steps = 0; steps < 4 * kMaxRuns; ++steps) {
        index = m_in.devices->EnumerateDevicePath(index, buffer, sizeof buffer);
        if (index < 0) {
            break;
        }
        const std::string path = buffer;
        if (path.empty() || std::find(paths.begin(), paths.end(), path) != paths.end()) {
            continue;
        }
        std::error_code error;
        if (presentOnly && !IsUsbPath(path) && !std::filesystem::exists(path, error)) {
            continue;
        }
        paths.push_back(path);
    }
    return paths;
}

void CClassroom::Start(const std::string& device)
{
    if (m_runs.size() >= static_cast<size_t>(kMaxRuns)) {
        return;
    }
    auto run = std::make_unique<Run>(m_in.devices, device);
    UpdateRunInputs inputs;
    inputs.baseDir = m_in.baseDir;
    inputs.tempDir = m_in.tempDir;
    inputs.devices = &run->source;
    inputs.claimed = &m_claimed;
    inputs.wait = m_in.wait;
    inputs.port = &run->port;
    Run* r = run.get();
    // A thread that cannot be made is like memory that cannot be had: the
    // program ends (the set is far below the system's thread limits).
    // The record is on the disk before the row shows the result.
    r->thread = std::thread([r, inputs, fn = m_in.runUpdate, history = m_in.history, mode = m_in.historyMode] {
        const auto started = std::chrono::system_clock::now();
        const UpdateOutcome outcome = fn(inputs);
        RecordRun(history, mode, started, outcome, r->port);
        r->port.Finish(outcome);
    });
    m_runs.push_back(std::move(run));
}

size_t CClassroom::RunningCount() const
{
    return static_cast<size_t>(std::count_if(m_runs.begin(), m_runs.end(),
                                             [](const auto& r) { return !r->port.Finished(); }));
}

void CClassroom::AbandonAll()
{
    for (auto& r : m_runs) {
        r->port.Abandon();
    }
}

void CClassroom::WaitForAll()
{
    for (auto& r : m_runs) {
        if (r->thread.joinable()) {
            r->thread.join();
        }
    }
}

bool CClassroom::Answer(ClassroomRequest request, bool station)
{
    switch (request) {
    case ClassroomRequest::None:
        return false;
    case ClassroomRequest::Terminate:
        // Nothing is asked any more: the runs end through the abandon path.
        m_stopped = true;
        AbandonAll();
        return RunningCount() == 0;
    case ClassroomRequest::Stop:
        if (RunningCount() == 0) {
            m_stopped = m_stopped || !station;
            return true;
        }
        if (m_in.frontEnd->MessageBox(kStopText, kStopCaption, kWarningOkCancel) == IDOK) {
            m_stopped = true;
            AbandonAll();
        }
        return false;
    }
    return false;
}

std::vector<ClassroomRow> CClassroom::Rows() const
{
    std::vector<ClassroomRow> rows;
    rows.reserve(m_runs.size());
    for (const auto& r : m_runs) {
        rows.push_back(r->port.Row());
    }
    return rows;
}

std::vector<std::string> CClassroom::SummaryLines() const
{
    std::vector<std::string> lines;
    for (const ClassroomRow& row : EveryRow()) {
        if (row.finished) {
            lines.push_back(row.resultWord + " " + row.device + (row.reason.empty() ? "" : " " + row.reason));
        }
    }
    return lines;
}

void CClassroom::Show(const std::string& heading)
{
    // Noted before the rows are taken: a run that ends in between is drawn
    // ended, and counted as shown only from the next drawing.
    for (const auto& run : m_runs) {
        run->endShown = run->port.Finished();
    }
    m_in.view->ShowRows(Rows(), heading);
}

void CClassroom::DropGone(const std::vector<std::string>& offered)
{
    for (auto it = m_runs.begin(); it != m_runs.end();) {
        Run& r = **it;
        // A row goes only once its result has been seen: a calculator pulled
        // right after its end still shows how it ended first.
        if (r.endShown && std::find(offered.begin(), offered.end(), r.path) == offered.end()) {
            if (r.thread.joinable()) {
                r.thread.join();   // it has finished: only the thread's end is left
            }
            m_dropped.push_back(r.port.Row());   // still counted, and in the summary
            it = m_runs.erase(it);
        } else {
            ++it;
        }
    }
}

CClassroom::SetEnd CClassroom::RunAllAtOnce()
{
    for (const std::string& device : Offered(false)) {
        Start(device);
    }
    if (m_runs.empty()) {
        return SetEnd::NoneFound;
    }
    const std::string heading = "Updating " + std::to_string(m_runs.size()) +
                                (m_runs.size() == 1 ? " calculator at once" : " calculators at once");
    for (;;) {
        Show(heading);
        if (RunningCount() == 0) {
            break;
        }
        Answer(m_in.view->Serve(m_in.servePeriodMs), false);
    }
    WaitForAll();
    Show(heading);   // the last run may have ended after the last drawing
    m_in.view->ShowSummary(SummaryLines());
    return m_stopped ? SetEnd::Stopped : SetEnd::Done;
}

void CClassroom::RunStation()
{
    // The device service says when something was plugged or pulled; the
    // slow rescan is a safety net for what it cannot see.
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(m_in.scanPeriodMs);
    auto lastScan = Clock::now() - period;
    for (;;) {
        const bool changed = m_in.devices->DevicesChanged();
        if (!m_stopped && (changed || Clock::now() - lastScan >= period)) {
            lastScan = Clock::now();
            const std::vector<std::string> offered = Offered(true);
            // A run holds its calculator, and a held USB calculator is not
            // offered: only finished rows are dropped when their path is gone.
            DropGone(offered);
            for (const std::string& device : offered) {
                const bool known = std::any_of(m_runs.begin(), m_runs.end(),
                                               [&](const auto& r) { return r->path == device; });
                if (!known) {
                    Start(device);
                }
            }
        }
        Show(StationHeading(EveryRow()));
        if (m_stopped && RunningCount() == 0) {
            break;
        }
        if (Answer(m_in.view->Serve(m_in.servePeriodMs), true)) {
            break;
        }
    }
    WaitForAll();
    Show(StationHeading(EveryRow()));
    // However the station ends, what it did: as the set's summary, then its counts.
    std::vector<std::string> lines = SummaryLines();
    lines.push_back(CountsText(EveryRow()));
    m_in.view->ShowSummary(lines);
}

std::vector<ClassroomRow> CClassroom::EveryRow() const
{
    std::vector<ClassroomRow> rows = m_dropped;
    for (ClassroomRow& row : Rows()) {
        rows.push_back(std::move(row));
    }
    return rows;
}
