// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Many calculators at once. `--all` updates every calculator connected now,
// each by its own update run on its own thread; `--watch` (the station)
// updates each calculator as it appears. Every run talks to one calculator
// exactly as a single update does, through its own port: a row that the
// front end shows. The front end reads the rows on its own thread only, so
// no widget is ever touched by a run's thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/claimed_device_list.h"
#include "device/device_source.h"
#include "i18n/message.h"
#include "shell/history.h"
#include "shell/progress_ctrl.h"
#include "shell/run_tally.h"
#include "update/run_update.h"
#include "update/session_images.h"

class IFrontEnd;

// One row as the front end draws it, copied out of its run.
struct ClassroomRow {
    uint32_t number = 0;      // the run's number in its set or station, from 1
    std::string device;
    Message phase;            // the phase under way, or what the run is doing
    int pos = 0;              // the bar: pos within 0 .. upper
    int upper = 0;
    bool silent = false;      // the calculator has not answered for the stall time: the row may be stopped
    uint32_t silentMs = 0;    // and for how long
    bool finished = false;
    UpdateResult result = Failed;
    Message resultWord;       // "updated", "current", "unsupported", "failed"
    Message reason;           // why, unless updated
    std::vector<Message> warnings;   // what the run said that did not stop it, in order
    std::vector<std::string> phases;     // every phase the run opened, in order
    bool taken = false;       // the run has taken its calculator
    UsbLocation usb;          // and where it is, for USB as far as the system tells
    std::optional<HistoryRecord> record;   // once finished: the run's history record
    // A finished station row on a port that stays when its calculator is
    // unplugged (a serial port): the program cannot see the next calculator
    // arrive there, so the user is offered to update it.
    bool offersNext = false;
};

// What the user asked of the front end while the rows were shown.
// Stop: Ctrl+C; Close: the window's Close or Escape, which in the station
// also asks before ending it when nothing runs.
// Next: update the next calculator on the ports whose rows offer it (see
// IClassroomView::NextDevice).
// StopRow: end the run of one row whose calculator is not answering, as
// Ctrl+C ends a single update (see IClassroomView::StopNumber).
enum class ClassroomRequest { None, Stop, Close, Terminate, Next, StopRow };

// What a window's view answers Serve with (after Terminate, which goes
// first), from what the user did meanwhile: closed the window, pressed
// Ctrl+C, asked to stop a row or for the next calculator. A row's stop or
// the next is taken (its flag cleared) only when the window was neither
// closed nor interrupted; the stop of a row goes before the next.
ClassroomRequest TakeRequest(bool closed, bool interrupted, bool& stopRowAsked, bool& nextAsked);

// How rows and summary lines name a row's calculator: its label, else a USB
// one by port and serial (never by bus and address alone, which change at
// every plugging), else its path.
Message CalculatorName(const ClassroomRow& row);

// What a silent row says after its phase: "not answering for 12 s".
Message SilentText(const ClassroomRow& row);

// How a front end's texts name its own controls (patterns marked with N_):
// the console speaks of its keys, a window of its buttons.
struct ControlWords {
    const char* endStation;   // inside the station's heading: "Close ends the station"
    const char* endConnect;   // ends the station's connect box: "Close the window to end."
    const char* offerNext;    // under the heading while a row offers the next calculator
};
ControlWords WindowControlWords();
ControlWords ConsoleControlWords();

// The rows' view, implemented by each front end. Every call comes from the
// thread that runs the update loop (the GUI thread in the window).
class IClassroomView {
public:
    virtual ~IClassroomView() = default;
    // Shows the rows (all of them, in order), `heading` above them.
    virtual void ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading) = 0;
    // Serves the front end for about `ms`: what the user asked meanwhile.
    virtual ClassroomRequest Serve(uint32_t ms) = 0;
    // The set's summary, one line per calculator: "RESULT DEVICE REASON",
    // then, when the text is to say them, the counts (CountsText); `counts`
    // are those of every calculator of the set or station, always.
    virtual void ShowSummary(const std::vector<Message>& lines, const RunTally& counts) = 0;
    // Takes the rows off the screen.
    virtual void CloseRows() = 0;
    // With Next: the one row's device the user chose; empty for every row
    // that offers it.
    virtual std::string NextDevice() const { return {}; }
    // With StopRow: the number of the row (ClassroomRow::number) to stop.
    virtual uint32_t StopNumber() const { return 0; }
    // Asks `question` (OK or Cancel) inside the rows' window, below the
    // rows; IDOK or IDCANCEL, or 0 for a view that cannot ask (a box asks).
    virtual int Ask(const char* /*question*/) { return 0; }
    // After a set that was stopped, or a station: the end (the heading with
    // the counts, every row with its result) stays in sight until the user
    // closes it. A view whose end lines stay on the screen returns at once.
    virtual void AwaitClose() {}
    // The words the station's texts use for this front end's controls.
    virtual ControlWords Words() const { return WindowControlWords(); }
};

// The port of one run: a row under a lock. The run's thread writes it, the
// front end's thread copies it.
class CRowPort : public IUpdatePort {
public:
    explicit CRowPort(std::string device, uint32_t number = 0);

    void OpenProgress(const char* phaseText, int stepCount) override;
    void StepProgress() override;
    void SetProgressPos(int pos) override;
    void SetProgressRange(int upper) override;
    void CloseProgress() override;
    void Warn(const Message& text) override;
    void DeviceTaken(const std::string& path, const UsbLocation& usb) override;
    // Where the row's calculator is and its label, before its run takes it.
    void Locate(const UsbLocation& usb);
    // A row has no Close command of its own.
    bool SetCloseEnabled(bool) override { return false; }
    // False once the run was asked to stop: it ends through the abandon path.
    bool KeepWaiting(const ReplyWait& wait) override;

    void Abandon() { m_abandon = true; }
    // `record`: the run's history record, when one was made.
    void Finish(const UpdateOutcome& outcome, std::optional<HistoryRecord> record = std::nullopt);
    // A row of a set whose run could not start: "not started" and why.
    void NotStarted(const Message& reason);
    // A row waiting for a place in the station.
    void Waiting(const Message& reason);
    void OfferNext(bool offer);
    bool Finished() const { return m_finished; }
    ClassroomRow Row() const;

private:
    mutable std::mutex m_lock;
    ClassroomRow m_row;
    CProgressCtrl m_bar;
    std::atomic<bool> m_abandon{false};
    std::atomic<bool> m_finished{false};
};

// The counts of the finished rows, and of `notConnected` configured ports
// that had nothing connected.
RunTally CountsOf(const std::vector<ClassroomRow>& rows, size_t notConnected = 0);
// The counts as a line: "N calculators: A updated, B already current, C not
// supported, D failed.", then, when some configured ports had nothing
// connected, " E configured ports had nothing connected."
Message CountsText(const RunTally& counts);
inline Message CountsText(const std::vector<ClassroomRow>& rows, size_t notConnected = 0)
{
    return CountsText(CountsOf(rows, notConnected));
}

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
        bool checkOnly = false;   // --check: every run reads the version and writes nothing
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

    // How many calculators `devices` offers now: those a set would update.
    static size_t PresentCount(IDeviceSource* devices);
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

private:
    struct Run;

    // The device paths offered now, one name per device; in the station
    // only those present (a listed path that does not exist yet has not
    // appeared).
    std::vector<std::string> Offered(bool presentOnly) const;
    // A row for `device`, its run started when there is room for it.
    void Add(const std::string& device);
    bool Start(Run& run);
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
    // many do not answer while only silent ones still run.
    void Show(const Message& heading, bool silentNote = false);
    // Rows of finished runs whose calculator is gone are dropped.
    void DropGone(const std::vector<std::string>& offered);

    Inputs m_in;
    CClaimedDeviceList m_claimed{kMaxRuns};
    std::vector<std::unique_ptr<Run>> m_runs;
    std::vector<ClassroomRow> m_dropped;   // the station's rows of unplugged calculators
    uint32_t m_runCount = 0;
    size_t m_notConnected = 0;
    bool m_stopped = false;
    bool m_imagesChanged = false;   // the station's image folder changed since its start
};
