// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Many calculators at once. `--all` updates every calculator connected now,
// each by its own update run on its own thread; `--watch` (the station)
// updates each calculator as it appears. Every run talks to one calculator
// exactly as a single update does, through its own port: a row that the
// front end shows. The front end reads the rows on its own thread only, so
// no widget is ever touched by a run's thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/claimed_device_list.h"
#include "device/device_source.h"
#include "i18n/message.h"
#include "shell/records/history.h"
#include "shell/records/station_status.h"
#include "shell/reports/retry_list.h"
#include "shell/session/classroom_row.h"
#include "shell/session/classroom_view.h"
#include "shell/session/row_port.h"
#include "update/run_update.h"
#include "update/session_images.h"

class IFrontEnd;

class CClassroom {
public:
    using RunUpdateFn = std::function<UpdateOutcome(const UpdateRunInputs& inputs)>;

    struct Inputs {
        std::string baseDir;
        std::string tempDir;
        // The session's images; null: each run copies them itself.
        const CSessionImages* images = nullptr;
        IDeviceSource* devices = nullptr;
        ReplyWaitPolicy wait;
        ConfirmPolicy confirm;
        // Only these calculators are taken (--retry-failed); any other
        // gets a row that says so and is not touched. Null: every one.
        const RetryList* retry = nullptr;
        RunUpdateFn runUpdate;
        IFrontEnd* frontEnd = nullptr;   // the boxes
        IClassroomView* view = nullptr;  // the rows
        uint32_t servePeriodMs = 100;    // how often the rows are redrawn
        // How often the station looks for calculators when the device
        // service reports no change (it is asked at every redraw).
        uint32_t scanPeriodMs = 5000;
        // Where each run is recorded, and as what ("all" or "watch").
        HistorySettings history;
        const char* historyMode = "all";
        // Keeps the computer awake while runs write; null: nothing does.
        IWriteGuard* writeGuard = nullptr;
        // The station tells the service manager "READY=1" once it watches,
        // "STATUS=station: ..." with its counts after each change and
        // "STOPPING=1" at its end; null: nobody is told.
        std::function<void(const std::string& state)> tellService;
        // What the station lacks, added to every status it tells (empty: nothing).
        std::string serviceNote;
        bool checkOnly = false;   // --check: every run reads the version and writes nothing
        // The station keeps its rows in this file while it runs (for
        // --station-status), with these permissions; empty: nowhere.
        std::string statusFile;
        unsigned statusFileMode = 0600;
    };

    // Enough room for a class set on hubs; the update loop's own list stays at 10.
    static constexpr int32_t kMaxRuns = 256;

    explicit CClassroom(Inputs inputs);
    ~CClassroom();   // runs still going are abandoned and waited for
    CClassroom(const CClassroom&) = delete;
    CClassroom& operator=(const CClassroom&) = delete;

    // Updates every calculator offered now, all at once, and shows the
    // summary. False when none was offered or the user stopped the set.
    enum class SetEnd { Done, NoneFound, Stopped };
    SetEnd RunAllAtOnce();

    // Updates each calculator as it appears until the user ends the station.
    void RunStation();

    // How many listed paths of the set led nowhere: ports with nothing
    // connected, neither run nor counted as failed.
    size_t NotConnected() const { return m_notConnected; }

    // How many calculators `devices` offers now: those a set would update
    // (of a retry, only those of its list).
    static size_t PresentCount(IDeviceSource* devices, const RetryList* retry = nullptr);
    // The rows as they are now (tests look at them).
    std::vector<ClassroomRow> Rows() const;
    // The dropped rows (the station's unplugged calculators), then those shown.
    std::vector<ClassroomRow> EveryRow() const;
    // The station's rows that count as calculators: every row but those of
    // runs that never reached theirs.
    std::vector<ClassroomRow> StationCalculators() const;
    // "RESULT DEVICE REASON" for every finished run, in row order; in the
    // station also those whose rows were dropped, first.
    std::vector<Message> SummaryLines() const;
    // The name every record of this set or station carries.
    const std::string& SetId() const { return m_in.history.setId; }

private:
    struct Run;

    // The device paths offered now, one name per device; in the station
    // only those present (a listed path that does not exist yet has not
    // appeared).
    std::vector<std::string> Offered(bool presentOnly) const;
    // A row for `device`, its run started when there is room for it.
    void Add(const std::string& device);
    bool Start(Run& run);
    // A run under way has begun writing its calculator's flash.
    bool AnyWriting() const;
    size_t RunningCount() const;
    // The station: rows waiting for room start, finished rows on ports that
    // stay offer the next calculator, a changed image folder is said once.
    void Scan();
    void TakeNext(const std::string& device);
    // Marks the runs whose port is not offered now as vanished.
    void NoteVanished(const std::vector<std::string>& offered);
    // Rows whose port vanished and is offered again make way for the
    // calculator there now, once their result has been shown.
    void ReplaceReturned(const std::vector<std::string>& offered);
    // A USB calculator at `device` is one a run still waits for after its
    // restart (the same serial number as a row still running).
    bool Restarting(const std::string& device) const;
    // A row waits to make way for a calculator already there: the next
    // drawing looks again.
    bool ReturnReady() const;
    Message StationHeading() const;
    // "STATUS=..." to the service manager when the counts have changed
    // since `told`, the status last told.
    void TellStatus(std::string& told) const;
    // Handles a request; true when the set or station is to end now.
    bool Answer(ClassroomRequest request, bool station);
    void StopRow(uint32_t number);
    // `heading`, and under it, while every row still running is silent,
    // how many are done and how many do not answer.
    Message WithSilentNote(const Message& heading, const std::vector<ClassroomRow>& shown) const;
    void AbandonAll();
    void WaitForAll();
    // With `silentNote`, the heading says how many rows are done and how
    // many do not answer while only silent ones still run; with `timeLeft`,
    // about how long the rows have left.
    void Show(const Message& heading, bool silentNote = false, bool timeLeft = false);
    // Rows of finished runs whose calculator is gone are dropped.
    void DropGone(const std::vector<std::string>& offered);
    // The station of a retry ends by itself once every calculator of its
    // list is updated or current.
    bool EveryRetryDone();

    Inputs m_in;
    std::unique_ptr<CStationStatusFile> m_status;   // while the station runs
    CClaimedDeviceList m_claimed{kMaxRuns};
    std::vector<std::unique_ptr<Run>> m_runs;
    std::vector<ClassroomRow> m_dropped;   // the station's rows of unplugged calculators
    uint32_t m_runCount = 0;
    size_t m_notConnected = 0;
    bool m_ended = false;   // the station has ended: its rows offer nothing more
    bool m_stopped = false;
    bool m_imagesChanged = false;   // the station's image folder changed since its start
    std::vector<bool> m_retryDone;   // of the retry list's calculators
};
