// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/classroom.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <utility>

#include "device/decision_log.h"
#include "device/device_identity.h"
#include "device/safe_text.h"
#include "device/usb_location.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/records/last_run_trace.h"
#include "shell/screen/device_name.h"
#include "shell/session/front_end.h"
#include "shell/startup/set_id.h"
#include "update/device_picking.h"
#include "update/image_transfer.h"

namespace {

// The rows as the station's status file keeps them: a finished row's phase
// is its result, with the reason where it has one.
std::vector<StationStatusRow> StatusRows(const std::vector<ClassroomRow>& rows)
{
    std::vector<StationStatusRow> kept;
    kept.reserve(rows.size());
    for (const ClassroomRow& row : rows) {
        StationStatusRow status;
        status.name = CalculatorName(row);
        status.finished = row.finished;
        status.phase = !row.finished      ? row.phase
                       : row.reason.Empty() ? row.resultWord
                                            : Message(N_("%s: %s"), {row.resultWord, row.reason});
        status.percent = row.upper > 0 ? static_cast<int>(100LL * row.pos / row.upper) : 0;
        if (row.silent && !row.finished) {
            status.silentSeconds = (row.silentMs + 500) / 1000;
        }
        kept.push_back(std::move(status));
    }
    return kept;
}

constexpr const char* kStopText =
    N_("Updates are in progress. A calculator whose update is stopped has no working operating "
       "system until it is updated again.\r\n"
       "Do you want to stop them?");
// Before any calculator's flash is written, a stop costs none its system.
constexpr const char* kStopBeforeWritingText =
    N_("Updates are in progress; no calculator is being written yet, and each keeps its operating system if "
       "they are stopped now.\r\n"
       "Do you want to stop them?");
constexpr const char* kStopCaption = N_("Warning");
constexpr const char* kEndStationText =
    N_("Calculators connected after the station ends are not updated.\r\nDo you want to end the station?");
constexpr const char* kEndStationCaption = N_("End the station");
constexpr const char* kImagesChangedNote =
    N_("The images in the folder have changed: this station goes on with the images it started with; "
       "the new images are used after a restart");
// How texts are put together; these carry no words to translate.
// Two lines, each translated on its own.
constexpr const char* kLines = N_("%s\n%s");
constexpr const char* kSummaryLine = "%s %s";
constexpr const char* kSummaryLineWithReason = "%s %s %s";

Message NoRoomText()
{
    return Message(N_("%d updates are under way, the most at once"), {std::to_string(CClassroom::kMaxRuns)});
}

// A path held already under another of its device's names: the run ends
// as one that found no calculator there.
UpdateOutcome NotClaimedOutcome(const std::string& device)
{
    return {Failed, NoCalculatorReason(Message(N_("the calculator at %s"), {SafeText(device, kRowPathChars)}))};
}

// The station's heading with its count so far; `end` says how it is ended.
Message StationFirstLine(const std::vector<ClassroomRow>& rows, bool check, const char* end)
{
    const RunTally t = CountsOf(rows);
    const Message ending(end);
    if (check) {
        return Message(N_("Station: every calculator connected is checked, nothing is written; %s "
                          "(%d checked, %d could not be read so far)"),
                       {ending, std::to_string(t.checked), std::to_string(t.failed)});
    }
    if (t.unsupported > 0) {
        return Message(N_("Station: every calculator connected is updated at once; %s "
                          "(%d updated, %d current, %d not supported, %d failed so far)"),
                       {ending, std::to_string(t.updated), std::to_string(t.current),
                        std::to_string(t.unsupported), std::to_string(t.failed)});
    }
    return Message(N_("Station: every calculator connected is updated at once; %s "
                      "(%d updated, %d current, %d failed so far)"),
                   {ending, std::to_string(t.updated), std::to_string(t.current), std::to_string(t.failed)});
}

// What the station tells the service manager (machine text, in English):
// "station: 12 updated, 1 failed, 2 updating", with the current and the
// unsupported ones when there are any.
std::string ServiceStatus(const std::vector<ClassroomRow>& rows, size_t updating)
{
    const RunTally t = CountsOf(rows);
    std::string status = "station: " + std::to_string(t.updated) + " updated";
    if (t.current > 0) {
        status += ", " + std::to_string(t.current) + " current";
    }
    if (t.checked > 0) {
        status += ", " + std::to_string(t.checked) + " checked";
    }
    if (t.unsupported > 0) {
        status += ", " + std::to_string(t.unsupported) + " not supported";
    }
    return status + ", " + std::to_string(t.failed) + " failed, " + std::to_string(updating) + " updating";
}

}  // namespace

struct CClassroom::Run {
    Run(const std::string& device, uint32_t number) : port(device, number), path(device) {}
    CRowPort port;
    std::string path;
    std::thread thread;
    bool endShown = false;   // its result has been drawn at least once
    bool started = false;
    // Its port has vanished at some scan since the run began and was still
    // gone when the run ended: whatever appears there next is another
    // calculator, which starts by itself. A link that dropped and came back
    // while the run went on is the same calculator: not tried again.
    bool vanished = false;
    bool presentAtLastScan = true;   // offered at the last scan
    bool endSeen = false;            // a scan has seen the run ended
    bool returned = false;   // and a calculator is there again, waiting for this row to end
    int retryTarget = -1;    // which calculator of the retry list it is
};

CClassroom::CClassroom(Inputs inputs) : m_in(std::move(inputs))
{
    // One name for every record of this set or station session.
    m_in.history.setId = MakeSetId(std::chrono::system_clock::now(), std::random_device{}());
}

CClassroom::~CClassroom()
{
    AbandonAll();
    WaitForAll();
}

std::vector<std::string> CClassroom::Offered(bool presentOnly) const
{
    // An enumeration that does not end is cut off well past any class set.
    return OfferedDevicePaths(*m_in.devices, presentOnly, 4 * kMaxRuns);
}

size_t CClassroom::PresentCount(IDeviceSource* devices, const RetryList* retry)
{
    Inputs inputs;
    inputs.devices = devices;
    const std::vector<std::string> offered = CClassroom(std::move(inputs)).Offered(true);
    if (retry == nullptr) {
        return offered.size();
    }
    return static_cast<size_t>(std::count_if(offered.begin(), offered.end(), [&](const std::string& path) {
        UsbLocation where = FindUsbLocation(path);
        where.label = devices->LabelOf(path, where);
        return RetryTargetOf(*retry, where, path) >= 0;
    }));
}

void CClassroom::Add(const std::string& device)
{
    m_runs.push_back(std::make_unique<Run>(device, ++m_runCount));
    // Named as it will be before its run has taken it.
    UsbLocation where = FindUsbLocation(device);
    where.label = m_in.devices != nullptr ? m_in.devices->LabelOf(device, where) : std::string();
    m_runs.back()->port.Locate(where);
    if (m_in.retry != nullptr) {
        m_runs.back()->retryTarget = RetryTargetOf(*m_in.retry, where, device);
        if (m_runs.back()->retryTarget < 0) {
            m_runs.back()->port.Skipped(Message(N_("not in the retry list")));
            return;
        }
    }
    if (!Start(*m_runs.back())) {
        m_runs.back()->port.Waiting(Message(N_("%s; it starts when one ends"), {NoRoomText()}));
    }
}

bool CClassroom::Start(Run& run)
{
    // Only runs in progress take room: a finished row (a port that is no
    // calculator, one that is done) holds none.
    if (RunningCount() >= static_cast<size_t>(kMaxRuns)) {
        return false;
    }
    // The run is handed its calculator claimed: it looks for no other.
    CDeviceClaim claim(m_claimed, run.path);
    UpdateRunInputs inputs;
    inputs.baseDir = m_in.baseDir;
    inputs.tempDir = m_in.tempDir;
    inputs.images = m_in.images != nullptr ? &m_in.images->Images() : nullptr;
    inputs.devices = m_in.devices;
    inputs.claimed = &m_claimed;
    inputs.devicePath = run.path;
    inputs.wait = m_in.wait;
    inputs.confirm = m_in.confirm;
    inputs.port = &run.port;
    inputs.trace = RunTraceSettingsOf(m_in.history);
    inputs.writeGuard = m_in.writeGuard;
    inputs.checkOnly = m_in.checkOnly;
    Run* r = &run;
    // A thread that cannot be made is like memory that cannot be had: the
    // program ends (the set is far below the system's thread limits).
    // The record is on the disk before the row shows the result.
    r->thread = std::thread([r, inputs, claim = std::move(claim), fn = m_in.runUpdate, history = m_in.history,
                             mode = m_in.historyMode]() mutable {
        const auto started = std::chrono::system_clock::now();
        r->port.Began();
        if (history.metrics) {
            const Message notWritten = history.metrics->RunStarted();
            if (!notWritten.Empty()) {
                r->port.Warn(notWritten);
            }
        }
        const UpdateOutcome outcome = claim.Held() ? fn(inputs) : NotClaimedOutcome(claim.Path());
        claim.Release();   // before the row ends: its port may be offered again at once
        r->port.Finish(outcome, RecordRun(history, mode, started, outcome, r->port));
    });
    r->started = true;
    return true;
}

size_t CClassroom::RunningCount() const
{
    return static_cast<size_t>(std::count_if(m_runs.begin(), m_runs.end(),
                                             [](const auto& r) { return r->started && !r->port.Finished(); }));
}

bool CClassroom::AnyWriting() const
{
    return std::any_of(m_runs.begin(), m_runs.end(), [](const auto& r) {
        if (!r->started || r->port.Finished()) {
            return false;
        }
        const std::vector<std::string> phases = r->port.Row().phases;
        return std::find(phases.begin(), phases.end(), kOsPhaseText) != phases.end();
    });
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
    case ClassroomRequest::Next:
        if (station && !m_stopped) {
            TakeNext(m_in.view->NextDevice());
        }
        return false;
    case ClassroomRequest::StopRow:
        StopRow(m_in.view->StopNumber());
        return false;
    case ClassroomRequest::Terminate:
        // Nothing is asked any more: the runs end through the abandon path.
        m_stopped = true;
        AbandonAll();
        return RunningCount() == 0;
    case ClassroomRequest::Close:
        if (station && RunningCount() == 0) {
            // Nothing would be lost but the calculators still to come: asked first.
            if (m_in.frontEnd->MessageBox(Message(kEndStationText), Message(kEndStationCaption),
                                          MB_OKCANCEL | MB_ICONEXCLAMATION) ==
                IDOK) {
                m_stopped = true;
                return true;
            }
            return false;
        }
        [[fallthrough]];
    case ClassroomRequest::Stop:
        if (RunningCount() == 0) {
            m_stopped = m_stopped || !station;
            return true;
        }
        if (m_in.frontEnd->MessageBox(Message(AnyWriting() ? kStopText : kStopBeforeWritingText),
                                      Message(kStopCaption), kWarningOkCancel) == IDOK) {
            m_stopped = true;
            AbandonAll();
        }
        return false;
    }
    return false;
}

void CClassroom::StopRow(uint32_t number)
{
    // Only that run ends, through its abandon path: the calculator is told
    // and the row keeps the run's reason, which says what to do next.
    for (auto& r : m_runs) {
        if (r->started && !r->port.Finished() && r->port.Row().number == number) {
            r->port.Abandon();
        }
    }
}

Message CClassroom::WithSilentNote(const Message& heading, const std::vector<ClassroomRow>& shown) const
{
    size_t done = 0;
    size_t silent = 0;
    for (const std::vector<ClassroomRow>* rows : {&m_dropped, &shown}) {
        for (const ClassroomRow& row : *rows) {
            done += row.finished ? 1 : 0;
            silent += !row.finished && row.silent ? 1 : 0;
        }
    }
    const size_t total = m_dropped.size() + shown.size();
    if (silent == 0 || done + silent < total) {
        return heading;
    }
    const Message note = Message::Count("%d of %d done; %d not answering", "%d of %d done; %d not answering", silent,
                                        {std::to_string(done), std::to_string(total), std::to_string(silent)});
    return Message(kLines, {heading, note});
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

std::vector<Message> CClassroom::SummaryLines() const
{
    std::vector<Message> lines;
    for (const ClassroomRow& row : EveryRow()) {
        if (row.finished) {
            const Message name = CalculatorName(row);
            lines.push_back(row.reason.Empty() ? Message(kSummaryLine, {row.resultWord, name})
                                               : Message(kSummaryLineWithReason, {row.resultWord, name, row.reason}));
        }
    }
    return lines;
}

void CClassroom::Show(const Message& heading, bool silentNote, bool timeLeft)
{
    // Noted before the rows are taken: a run that ends in between is drawn
    // ended, and counted as shown only from the next drawing.
    for (const auto& run : m_runs) {
        run->endShown = run->port.Finished();
    }
    // The note counts the very rows drawn under it.
    const std::vector<ClassroomRow> rows = Rows();
    const Message left = timeLeft ? TimeLeftText(rows) : Message();
    const Message shown = left.Empty() ? heading : Message(kLines, {heading, left});
    m_in.view->ShowRows(rows, silentNote ? WithSilentNote(shown, rows) : shown);
    if (m_status) {
        // For a reader elsewhere: the counts, without the window's own
        // words (how to end it, what to press).
        Message counts = CountsText(CountsOf(StationCalculators()));
        if (m_imagesChanged) {
            counts = Message(kLines, {counts, Message(kImagesChangedNote)});
        }
        m_status->Publish(WithSilentNote(counts, rows), StatusRows(rows));
    }
}

void CClassroom::DropGone(const std::vector<std::string>& offered)
{
    for (auto it = m_runs.begin(); it != m_runs.end();) {
        Run& r = **it;
        // A row goes only once its result has been seen: a calculator pulled
        // right after its end still shows how it ended first.
        const bool idle = (r.port.Finished() && r.endShown) || !r.started;
        if (idle && std::find(offered.begin(), offered.end(), r.path) == offered.end()) {
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

void CClassroom::TakeNext(const std::string& device)
{
    for (auto it = m_runs.begin(); it != m_runs.end();) {
        Run& r = **it;
        // Offered or about to be (a row finishes between two scans).
        if (r.port.Finished() && !IsUsbPath(r.path) && (device.empty() || device == r.path)) {
            if (r.thread.joinable()) {
                r.thread.join();
            }
            it = m_runs.erase(it);
        } else {
            ++it;
        }
    }
    Scan();   // the ports taken are offered still: their next calculators start now
}

void CClassroom::NoteVanished(const std::vector<std::string>& offered)
{
    for (auto& r : m_runs) {
        if (r->started && !r->endSeen && r->port.Finished()) {
            r->endSeen = true;
            // Back before the run ended: the link dropped, the calculator stayed.
            r->vanished = r->vanished && !r->presentAtLastScan;
            r->returned = r->returned && r->vanished;
        }
        // A USB calculator is not offered while a run holds it, its own run
        // too: that is no sign of it gone. Pulled out, it ends its run; plugged
        // in again, it has another address and so another path.
        if (IsUsbPath(r->path) && r->started && !r->port.Finished()) {
            continue;
        }
        const bool present = std::find(offered.begin(), offered.end(), r->path) != offered.end();
        r->vanished = r->vanished || !present;
        r->presentAtLastScan = present;
    }
}

void CClassroom::ReplaceReturned(const std::vector<std::string>& offered)
{
    for (auto it = m_runs.begin(); it != m_runs.end();) {
        Run& r = **it;
        // A row still waiting for room starts on whatever calculator is there.
        if (!r.started || !r.vanished || std::find(offered.begin(), offered.end(), r.path) == offered.end()) {
            ++it;
            continue;
        }
        // Its result is seen before the new calculator's row takes its place.
        if (!r.port.Finished() || !r.endShown) {
            r.returned = true;
            ++it;
            continue;
        }
        if (r.thread.joinable()) {
            r.thread.join();
        }
        m_dropped.push_back(r.port.Row());
        it = m_runs.erase(it);
    }
}

bool CClassroom::EveryRetryDone()
{
    if (m_in.retry == nullptr) {
        return false;
    }
    m_retryDone.resize(m_in.retry->targets.size());
    for (const auto& r : m_runs) {
        const ClassroomRow row = r->port.Row();
        if (r->retryTarget >= 0 && row.finished && (row.result == Success || row.result == AlreadyCurrent)) {
            m_retryDone[static_cast<size_t>(r->retryTarget)] = true;
        }
    }
    return std::all_of(m_retryDone.begin(), m_retryDone.end(), [](bool done) { return done; });
}

bool CClassroom::ReturnReady() const
{
    return std::any_of(m_runs.begin(), m_runs.end(),
                       [](const auto& r) { return r->returned && r->port.Finished() && r->endShown; });
}

bool CClassroom::Restarting(const std::string& device) const
{
    if (!IsUsbPath(device)) {
        return false;
    }
    const std::string serial = FindUsbLocation(device).serial;
    return !serial.empty() && std::any_of(m_runs.begin(), m_runs.end(), [&](const auto& r) {
        return r->started && !r->port.Finished() && r->port.Row().usb.serial == serial;
    });
}

void CClassroom::Scan()
{
    // A USB calculator that restarted after its update is back at another
    // address: still its row's.
    for (auto& r : m_runs) {
        const std::string now = r->port.Finished() ? r->port.PathNow() : std::string();
        if (!now.empty() && now != r->path) {
            // Moved, not gone: its old address vanishing (seen when the run
            // ended before this scan) is no calculator plugged in again.
            r->path = now;
            r->vanished = false;
            r->presentAtLastScan = true;
        }
    }
    const std::vector<std::string> offered = Offered(true);
    NoteVanished(offered);
    // A run holds its calculator, and a held USB calculator is not offered:
    // only finished rows are dropped when their path is gone.
    DropGone(offered);
    ReplaceReturned(offered);
    for (const std::string& device : offered) {
        // Where a run found its calculator after the restart is its row's,
        // also when the run ended after the paths above were followed.
        if (std::none_of(m_runs.begin(), m_runs.end(),
                         [&](const auto& r) { return r->path == device || r->port.PathNow() == device; }) &&
            !Restarting(device)) {
            Add(device);
        }
    }
    for (auto& r : m_runs) {
        if (!r->started && !r->port.Finished() && !Start(*r)) {
            r->port.Waiting(Message(N_("%s; it starts when one ends"), {NoRoomText()}));
        }
        // A USB calculator plugged in again gets a new address, so a new row.
        // Only a port that never vanished cannot tell that its calculator changed.
        r->port.OfferNext(r->port.Finished() && !IsUsbPath(r->path) && !r->vanished);
    }
    m_imagesChanged = m_imagesChanged || (m_in.images != nullptr && m_in.images->FolderChanged());
}

std::vector<ClassroomRow> CClassroom::StationCalculators() const
{
    // A run that never reached its calculator (its port could not be
    // opened) was an attempt, not a calculator.
    std::vector<ClassroomRow> rows = EveryRow();
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const ClassroomRow& row) { return row.finished && !row.taken && row.result == Failed; }),
               rows.end());
    return rows;
}

Message CClassroom::StationHeading() const
{
    const ControlWords words = m_in.view->Words();
    Message heading = StationFirstLine(StationCalculators(), m_in.checkOnly, words.endStation);
    if (!m_ended && std::any_of(m_runs.begin(), m_runs.end(), [](const auto& r) { return r->port.Row().offersNext; })) {
        heading = Message(kLines, {heading, Message(words.offerNext)});
    }
    if (m_imagesChanged) {
        heading = Message(kLines, {heading, Message(kImagesChangedNote)});
    }
    return heading;
}

CClassroom::SetEnd CClassroom::RunAllAtOnce()
{
    // A set is the calculators that are there: a listed path that leads
    // nowhere is a port with nothing connected, not a run.
    for (const std::string& device : Offered(false)) {
        if (DevicePresent(device)) {
            Add(device);
        } else {
            ++m_notConnected;
        }
    }
    // A set is never cut short silently: a calculator without room is listed.
    for (auto& r : m_runs) {
        if (!r->started && !r->port.Finished()) {
            r->port.NotStarted(Message(N_("%s; update it with the next set"), {NoRoomText()}));
        }
    }
    if (m_runs.empty()) {
        return SetEnd::NoneFound;
    }
    // The calculators of the set: not those left alone (a retry's others).
    const size_t taken = static_cast<size_t>(
        std::count_if(m_runs.begin(), m_runs.end(), [](const auto& r) { return !r->port.Row().skipped; }));
    const std::string count = std::to_string(taken);
    const Message heading =
        m_in.checkOnly
            ? Message::Count("Checking %d calculator at once", "Checking %d calculators at once", taken, {count})
            : Message::Count("Updating %d calculator at once", "Updating %d calculators at once", taken, {count});
    const auto began = std::chrono::steady_clock::now();
    for (;;) {
        Show(heading, true, true);
        if (RunningCount() == 0) {
            break;
        }
        Answer(m_in.view->Serve(m_in.servePeriodMs), false);
    }
    WaitForAll();
    // The last run may have ended after the last drawing; the end says how
    // long the whole set took.
    const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began +
                                                                       std::chrono::milliseconds(500));
    RunTally counts = CountsOf(EveryRow(), m_notConnected);
    std::vector<Message> lines = SummaryLines();
    if (m_notConnected > 0 || m_stopped) {
        // The rows cannot tell the ports with nothing connected; a stopped
        // set asks no question that would say its counts. Its time is in
        // the heading above.
        lines.push_back(CountsText(counts));
    }
    counts.tookSeconds = took.count();
    Show(Message(kLines, {heading, CountsText(counts)}));
    m_in.view->ShowSummary(lines, counts);
    return m_stopped ? SetEnd::Stopped : SetEnd::Done;
}

void CClassroom::RunStation()
{
    // The device service says when something was plugged or pulled; the
    // slow rescan is a safety net for what it cannot see.
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(m_in.scanPeriodMs);
    auto lastScan = Clock::now() - period;
    std::string told;
    bool ready = false;
    if (!m_in.statusFile.empty()) {
        m_status = std::make_unique<CStationStatusFile>(m_in.statusFile, m_in.statusFileMode);
        if (!m_status->FirstProblem().Empty() && m_in.frontEnd != nullptr) {
            m_in.frontEnd->Warn(m_status->FirstProblem());
        }
    }
    for (;;) {
        const bool changed = m_in.devices->DevicesChanged();
        const bool returned = !changed && ReturnReady();
        if (!m_stopped && (changed || returned || Clock::now() - lastScan >= period)) {
            m_in.devices->Decisions()([&] {
                return std::string("station looks at the devices: ") +
                       (changed ? "the system told of a change" : returned ? "a calculator's run has ended" : "the periodic look");
            });
            lastScan = Clock::now();
            Scan();
            if (!ready && m_in.tellService) {
                m_in.tellService("READY=1");   // watching, and what is there now is under way
            }
            ready = true;
        }
        Show(StationHeading(), true);
        TellStatus(told);
        if (!m_stopped && EveryRetryDone()) {
            m_in.devices->Decisions()([] { return std::string("station ends: every calculator to do again is done"); });
            m_stopped = true;
        }
        if (m_stopped && RunningCount() == 0) {
            break;
        }
        if (Answer(m_in.view->Serve(m_in.servePeriodMs), true)) {
            break;
        }
    }
    if (m_in.tellService) {
        m_in.tellService("STOPPING=1");
    }
    WaitForAll();
    TellStatus(told);
    m_status.reset();   // no station runs from here on
    // However the station ends, what it did: every calculator it saw, the
    // unplugged ones too, then the summary and its counts.
    // Nothing serves a row's Next once the station has ended.
    m_ended = true;
    std::vector<ClassroomRow> rows = EveryRow();
    for (ClassroomRow& row : rows) {
        row.offersNext = false;
    }
    m_in.view->ShowRows(rows, StationHeading());
    std::vector<Message> lines = SummaryLines();
    const RunTally counts = CountsOf(StationCalculators());
    lines.push_back(CountsText(counts));
    m_in.view->ShowSummary(lines, counts);
}

void CClassroom::TellStatus(std::string& told) const
{
    if (!m_in.tellService) {
        return;
    }
    const std::string status = ServiceStatus(StationCalculators(), RunningCount()) +
                               (m_in.serviceNote.empty() ? "" : "; " + m_in.serviceNote);
    if (status != told) {
        told = status;
        m_in.tellService("STATUS=" + status);
    }
}

std::vector<ClassroomRow> CClassroom::EveryRow() const
{
    std::vector<ClassroomRow> rows = m_dropped;
    for (ClassroomRow& row : Rows()) {
        rows.push_back(std::move(row));
    }
    return rows;
}
