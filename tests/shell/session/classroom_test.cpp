// SPDX-License-Identifier: GPL-3.0-or-later
// Many calculators at once through the application's loop, with scripted
// update runs on their own threads: every run gets only its own calculator
// and its own row, a run that hangs holds up nobody, Stop asks first and
// ends runs through their waits, and the station starts each calculator as
// it appears, once, until it has been unplugged.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recording_front_end.h"
#include "shell/session/classroom.h"
#include "shell/session/keep_awake.h"
#include "shell/session/updater_app.h"

namespace {


class RowsView : public IClassroomView {
public:
    std::vector<ClassroomRow> rows;
    std::vector<std::string> summary;
    std::string heading;
    int serves = 0;
    int closed = 0;
    std::function<ClassroomRequest(RowsView&)> onServe;

    void ShowRows(const std::vector<ClassroomRow>& shown, const Message& title) override
    {
        rows = shown;
        heading = title.English();
    }
    ClassroomRequest Serve(uint32_t) override
    {
        ++serves;
        EXPECT_LT(serves, 100000) << "the rows never settled";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return onServe && serves < 100000 ? onServe(*this) : (serves < 100000 ? ClassroomRequest::None
                                                                               : ClassroomRequest::Terminate);
    }
    void ShowSummary(const std::vector<Message>& lines, const RunTally&) override { summary = RenderAll(lines, nullptr); }
    void CloseRows() override { ++closed; }
    // Answers from `askAnswers` in turn; none left: cannot ask.
    int Ask(const char* question, const Message& retry) override
    {
        if (askAnswers.empty()) {
            return 0;
        }
        asked.emplace_back(question);
        offeredRetry.push_back(retry.English());
        const int answer = askAnswers.front();
        askAnswers.erase(askAnswers.begin());
        return answer;
    }
    std::vector<int> askAnswers;
    std::vector<std::string> asked;
    std::vector<std::string> offeredRetry;   // the third button's text at each question; empty: none
    uint32_t stopNumber = 0;   // the row a StopRow asks to stop
    uint32_t StopNumber() const override { return stopNumber; }
    int awaited = 0;           // ends kept in sight until closed
    void AwaitClose() override { ++awaited; }

    const ClassroomRow* Row(const std::string& device) const
    {
        for (const ClassroomRow& row : rows) {
            if (row.device == device) {
                return &row;
            }
        }
        return nullptr;
    }
};

class ClassroomFrontEnd : public RecordingFrontEnd {
public:
    RowsView view;
    IClassroomView* Classroom() override { return &view; }
};

class Classroom : public ::testing::Test {
protected:
    // A set over the scripted runs: a run's behaviour is in its
    // calculator's name.
    UpdaterSettings ScriptedSet(IWriteGuard* writeGuard = nullptr)
    {
        UpdaterSettings settings;
        settings.mode = UpdateMode::All;
        settings.deviceSource = &devices;
        settings.takeImages = nullptr;   // scripted runs read no images
        settings.checkImages = CheckImagesFn();
        settings.runUpdate = [this](const UpdateRunInputs& in) { return ScriptedRun(in); };
        settings.writeGuard = writeGuard;
        return settings;
    }

    // A station over the scripted runs that looks for calculators at every
    // drawing.
    CClassroom::Inputs StationInputs()
    {
        CClassroom::Inputs inputs;
        inputs.devices = &devices;
        inputs.runUpdate = [this](const UpdateRunInputs& in) { return ScriptedRun(in); };
        inputs.frontEnd = &frontEnd;
        inputs.view = &view;
        inputs.servePeriodMs = 1;
        inputs.scanPeriodMs = 0;
        return inputs;
    }

    UpdateOutcome ScriptedRun(const UpdateRunInputs& in)
    {
        // Handed its calculator, held for it already: a second claim fails.
        const char* path = in.devicePath.c_str();
        EXPECT_FALSE(in.devicePath.empty()) << "a run is handed its calculator";
        EXPECT_EQ(in.claimed->ClaimDevicePath(path), 0) << path << " was not held for its run";
        {
            const std::lock_guard<std::mutex> hold(lock);
            ++runsOf[path];
            ports.insert(in.port);
        }
        const std::string name = path;
        if (name.find("unreachable") != std::string::npos) {
            ++finished;
            return {Failed, Message::Raw("busy")};   // its port could not be opened
        }
        in.port->DeviceTaken(name, {});   // it reached its calculator
        const bool holds = name.find(" held") != std::string::npos;
        devices.holding = devices.holding || holds;
        if (in.writeGuard != nullptr) {
            in.writeGuard->BeginWriting();   // as an update run does when its stub starts
        }
        UpdateOutcome outcome{Success, {}};
        in.port->OpenProgress("Updating...", 4);
        if (name.find("closing") != std::string::npos) {
            // Done with the calculator, still closing until the test lets it end.
            while (!closed && in.port->KeepWaiting({20000, false})) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } else if (name.find("hang") != std::string::npos) {
            // Silent until the others are done, or until stopped.
            while (in.port->KeepWaiting({20000, true})) {
                if (name.find("until-others") != std::string::npos && finished == totalOthers) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            outcome = {Failed, Message::Raw("silent")};
        } else if (name.find("current") != std::string::npos) {
            outcome = {AlreadyCurrent, Message::Raw("OS 01.05 already")};
        } else if (name.find("unsupported") != std::string::npos) {
            outcome = {UnsupportedModel, Message::Raw("model 12345678")};
        } else if (name.find("cut") != std::string::npos) {
            in.port->StepProgress();
            outcome = {Failed, Message::Raw("link lost")};
        } else {
            for (int i = 0; i < 4; ++i) {
                in.port->StepProgress();
            }
        }
        if (in.writeGuard != nullptr) {
            in.writeGuard->EndWriting();
        }
        if (holds) {
            devices.holding = false;   // let go as the run ends, before its row does
        }
        ++finished;
        return outcome;
    }

    ClassroomFrontEnd frontEnd;
    RowsView& view = frontEnd.view;
    // Counts the walks through its list: each is one look for calculators.
    class CountingSource : public CListedDeviceSource {
    public:
        using CListedDeviceSource::CListedDeviceSource;
        int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) override
        {
            walks += index == 0 ? 1 : 0;
            const int32_t next = CListedDeviceSource::EnumerateDevicePath(index, buffer, size);
            // A held USB calculator is not on offer (the bus says usbfs has it).
            if (next >= 0 && holding && std::string(buffer).find(" held") != std::string::npos) {
                return EnumerateDevicePath(next, buffer, size);
            }
            return next;
        }
        std::atomic<int> walks{0};
        std::atomic<bool> holding{false};   // a "held" calculator's run has it
    };
    CountingSource devices{{}, nullptr, Message::Raw("the test's list")};   // paths changed between scans
    std::mutex lock;
    std::map<std::string, int> runsOf;
    std::set<IUpdatePort*> ports;
    std::atomic<int> finished{0};
    std::atomic<bool> closed{false};   // a "closing" run may end
    int RunsOf(const std::string& path)
    {
        const std::lock_guard<std::mutex> hold(lock);
        return runsOf[path];
    }
    int totalOthers = 0;
    CUpdaterApp app{&frontEnd, ScriptedSet()};
};

TEST_F(Classroom, EveryCalculatorOfTheSetEndsOnItsOwnAndTheSummarySaysHow)
{
    // A listed port with nothing connected is neither a run nor a row: only counted.
    devices.paths = {"usb:1:2", "usb:1:3 current", "/nonexistent/ttyZ0", "usb:1:4 unsupported", "usb:1:5 cut",
                     "usb:1:6 hang until-others", "usb:1:7"};
    totalOthers = 5;
    // Connect, both warnings, then OK to another set (the same calculators
    // again), then Cancel at the second set's first warning.
    frontEnd.answers = {IDOK, IDOK, IDOK, IDOK, IDOK, IDCANCEL};
    app.RunUpdateLoop();

    EXPECT_EQ(frontEnd.Summary(),
              (std::vector<std::string>{"box Connect the calculators.", "box Warning",
                                        "box Delete all data in the Main Memory of 6 calculators.",
                                        "close greyed", "box Complete (close greyed)", "close enabled",
                                        "box Connect the calculators.", "box Warning", "quit 18"}));
    const std::string counts = "6 calculators: 2 updated, 1 already current, 1 not supported, 2 failed. 1 configured "
                               "port had nothing connected.";
    EXPECT_EQ(frontEnd.texts[3], counts + "\r\nDo you want to update another set?");
    EXPECT_EQ(view.summary, (std::vector<std::string>{
                                "updated usb:1:2", "current usb:1:3 current OS 01.05 already",
                                "unsupported usb:1:4 unsupported model 12345678", "failed usb:1:5 cut link lost",
                                "failed usb:1:6 hang until-others silent", "updated usb:1:7", counts}));
    EXPECT_EQ(app.Tally().notConnected, 1);   // the second set was declined
    EXPECT_EQ(runsOf.count("/nonexistent/ttyZ0"), 0u);
    // One port per run, and every row ends with its bar where its run left it.
    EXPECT_EQ(ports.size(), 6u);
    ASSERT_EQ(view.rows.size(), 6u);
    EXPECT_EQ(view.rows[0].pos, 4);
    EXPECT_EQ(view.rows[3].pos, 1);
    EXPECT_EQ(view.rows[0].upper, 4);
    for (const auto& [path, count] : runsOf) {
        EXPECT_EQ(count, 1) << path;
    }
    // Each set looked for its calculators once for its warnings and once to
    // start; no run looked again.
    EXPECT_EQ(devices.walks, 3);
    EXPECT_EQ(app.ClaimedCount(), 0);
}

TEST_F(Classroom, StopAsksFirstAndOnlyThenEndsTheRunsThroughTheirWaits)
{
    devices.paths = {"usb:1:2 hang", "usb:1:3 hang", "usb:1:4"};
    int asked = 0;
    view.onServe = [&](RowsView& v) {
        // Ask to stop once the quick one is done: first refused, then agreed.
        const ClassroomRow* quick = v.Row("usb:1:4");
        if (quick != nullptr && quick->finished && asked < 2) {
            ++asked;
            return ClassroomRequest::Stop;
        }
        return ClassroomRequest::None;
    };
    frontEnd.answers = {IDOK, IDOK, IDOK, IDCANCEL, IDOK};
    app.RunUpdateLoop();

    EXPECT_EQ(frontEnd.Summary(),
              (std::vector<std::string>{"box Connect the calculators.", "box Warning",
                                        "box Delete all data in the Main Memory of 3 calculators.",
                                        "close greyed", "box Warning (close greyed)", "box Warning (close greyed)",
                                        "close enabled", "quit 18"}));
    // The end stays in sight with its counts until the user closes it.
    EXPECT_EQ(view.summary, (std::vector<std::string>{"failed usb:1:2 hang silent", "failed usb:1:3 hang silent",
                                                      "updated usb:1:4",
                                                      "3 calculators: 1 updated, 0 already current, 0 not "
                                                      "supported, 2 failed."}));
    EXPECT_EQ(view.awaited, 1);
    EXPECT_EQ(view.closed, 1);
}

// A silent row's own Stop ends that run alone, through its wait; the
// heading says how many are done and how many do not answer meanwhile,
// and the set ends as any other, with every row's result.
TEST_F(Classroom, StoppingOneSilentRowEndsOnlyItsRun)
{
    devices.paths = {"usb:1:2", "usb:1:3 hang", "usb:1:4"};
    std::string noteSeen;
    std::string silentSeen;
    view.onServe = [&](RowsView& v) {
        const ClassroomRow* silent = v.Row("usb:1:3 hang");
        if (silent == nullptr || !silent->silent || v.Row("usb:1:2")->finished + v.Row("usb:1:4")->finished < 2 ||
            v.stopNumber != 0) {
            return ClassroomRequest::None;
        }
        noteSeen = v.heading;
        silentSeen = SilentText(*silent).English();
        v.stopNumber = silent->number;
        return ClassroomRequest::StopRow;
    };
    frontEnd.answers = {IDOK, IDOK, IDOK, IDCANCEL};
    app.RunUpdateLoop();

    EXPECT_EQ(noteSeen, "Updating 3 calculators at once\n2 of 3 done; 1 not answering");
    EXPECT_EQ(silentSeen, "not answering for 20 s");
    EXPECT_EQ(view.stopNumber, 2u);
    EXPECT_EQ(view.summary, (std::vector<std::string>{"updated usb:1:2", "failed usb:1:3 hang silent",
                                                      "updated usb:1:4"}));
    // Not a stopped set: no box asked to stop, and the next set is offered.
    EXPECT_EQ(frontEnd.Summary(),
              (std::vector<std::string>{"box Connect the calculators.", "box Warning",
                                        "box Delete all data in the Main Memory of 3 calculators.",
                                        "close greyed", "box Complete (close greyed)", "close enabled", "quit 18"}));
}

TEST_F(Classroom, TheStationStartsEachCalculatorOnceUntilItIsUnpluggedAndEndsWhenIdle)
{
    devices.paths = {"usb:1:2"};
    CClassroom::Inputs inputs = StationInputs();
    int stage = 0;
    view.onServe = [&](RowsView& v) {
        const ClassroomRow* a = v.Row("usb:1:2");
        const ClassroomRow* b = v.Row("usb:1:3 hang");
        switch (stage) {
        case 0:   // the first calculator is done: a silent one and a second plug-in
            if (a != nullptr && a->finished) {
                devices.paths = {"usb:1:2", "usb:1:3 hang"};
                ++stage;
            }
            break;
        case 1:   // the first is unplugged while the silent one runs
            if (b != nullptr) {
                devices.paths = {"usb:1:3 hang"};
                ++stage;
            }
            break;
        case 2:   // its row is gone (still counted); it comes back and is updated again
            if (a == nullptr) {
                EXPECT_NE(v.heading.find("(1 updated, 0 current, 0 failed so far)"), std::string::npos)
                    << v.heading;
                devices.paths = {"usb:1:3 hang", "usb:1:2"};
                ++stage;
            }
            break;
        case 3:
            if (a != nullptr && a->finished && b != nullptr && !b->finished) {
                ++stage;
                return ClassroomRequest::Stop;   // a run is in progress: asked, refused
            }
            break;
        case 4:
            ++stage;
            return ClassroomRequest::Terminate;   // ends the silent run without asking
        default:
            break;
        }
        return ClassroomRequest::None;
    };
    frontEnd.answers = {IDCANCEL};
    {
        CClassroom station(std::move(inputs));
        station.RunStation();
        // Every calculator the station saw, the unplugged one first, then the counts.
        EXPECT_EQ(RenderAll(station.SummaryLines(), nullptr), (std::vector<std::string>{"updated usb:1:2", "failed usb:1:3 hang silent",
                                                                    "updated usb:1:2"}));
        EXPECT_EQ(view.summary,
                  (std::vector<std::string>{"updated usb:1:2", "failed usb:1:3 hang silent", "updated usb:1:2",
                                            "3 calculators: 2 updated, 0 already current, 0 not supported, 1 failed."}));
        EXPECT_EQ(view.heading, "Station: every calculator connected is updated at once; Close ends the "
                                "station (2 updated, 0 current, 1 failed so far)");
        // Its end shows every calculator it saw, the unplugged one too.
        EXPECT_EQ(view.rows.size(), 3u);
    }
    EXPECT_EQ(stage, 5);
    EXPECT_EQ(frontEnd.Summary(), (std::vector<std::string>{"box Warning"}));
    EXPECT_EQ(runsOf["usb:1:2"], 2);
    EXPECT_EQ(runsOf["usb:1:3 hang"], 1);
}

// A link that drops and comes back while its run goes on is the same
// calculator: its port is not tried again, and the counts are of
// calculators, not of attempts that never reached one.
TEST_F(Classroom, TheStationDoesNotRetryAPortWhoseLinkDroppedDuringItsRunAndCountsCalculators)
{
    const std::string port = "usb:1:5 closing";
    devices.paths = {port, "usb:1:6 unreachable"};
    CClassroom::Inputs inputs = StationInputs();
    int stage = 0;
    int servesAfterEnd = 0;
    view.onServe = [&](RowsView& v) {
        const ClassroomRow* row = v.Row(port);
        switch (stage) {
        case 0:   // the link drops mid-run
            if (row != nullptr && row->phase.English() == "Updating...") {
                devices.paths = {"usb:1:6 unreachable"};
                ++stage;
            }
            break;
        case 1:   // and is back while the run still goes on; then the run ends
            devices.paths = {port, "usb:1:6 unreachable"};
            ++stage;
            break;
        case 2:
            closed = true;
            if (row != nullptr && row->finished && ++servesAfterEnd > 20) {
                ++stage;
                return ClassroomRequest::Terminate;
            }
            break;
        default:
            break;
        }
        return ClassroomRequest::None;
    };
    {
        CClassroom station(std::move(inputs));
        station.RunStation();
        EXPECT_EQ(view.summary.back(), "1 calculator: 1 updated, 0 already current, 0 not supported, 0 failed.");
    }
    EXPECT_EQ(stage, 3);
    EXPECT_EQ(runsOf[port], 1);
}

// A USB calculator is not offered while a run holds it (its interface is
// usbfs's), its own run's included: the station scans meanwhile (another
// calculator plugged in), and once the run has ended and let it go, the
// calculator still plugged in is done, not a new one to update again.
TEST_F(Classroom, TheStationDoesNotUpdateAgainAUsbCalculatorItsOwnRunHeldAtAScan)
{
    const std::string port = "usb:1:5 held closing";
    devices.paths = {port};
    CClassroom::Inputs inputs = StationInputs();
    int stage = 0;
    int servesAfterEnd = 0;
    view.onServe = [&](RowsView& v) {
        const ClassroomRow* row = v.Row(port);
        switch (stage) {
        case 0:   // while its run holds it, another calculator is plugged in
            if (row != nullptr && row->phase.English() == "Updating...") {
                devices.paths = {port, "usb:1:6"};
                ++stage;
            }
            break;
        case 1:   // that one is seen (a scan while the first is held); the first run ends
            if (v.Row("usb:1:6") != nullptr) {
                closed = true;
                ++stage;
            }
            break;
        case 2:   // both stay plugged in
            if (row != nullptr && row->finished && ++servesAfterEnd > 50) {
                ++stage;
                return ClassroomRequest::Terminate;
            }
            break;
        default:
            break;
        }
        return ClassroomRequest::None;
    };
    {
        CClassroom station(std::move(inputs));
        station.RunStation();
    }
    EXPECT_EQ(stage, 3);
    EXPECT_EQ(runsOf[port], 1) << "updated again while it stayed plugged in";
    EXPECT_EQ(runsOf["usb:1:6"], 1);
}

// A port pulled while its run is closing, its next calculator plugged in
// once the run has ended: the station saw it vanish, so the next calculator
// starts by itself and Next is never offered for that port.
TEST_F(Classroom, APortThatVanishedWhileItsRunWasClosingStartsItsNextCalculatorByItself)
{
    const std::filesystem::path port = std::filesystem::temp_directory_path() /
                                       ("zentrix-port-closing-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    const auto plug = [&] { std::ofstream(port) << "a calculator\n"; };
    plug();
    devices.paths = {port.string()};
    CClassroom::Inputs inputs = StationInputs();
    int stage = 0;
    bool offered = false;
    view.onServe = [&](RowsView& v) {
        const ClassroomRow* row = v.Row(port.string());
        // The second calculator's port has not vanished since: its row may offer Next.
        offered = offered || (row != nullptr && row->offersNext && RunsOf(port.string()) < 2);
        switch (stage) {
        case 0:   // pulled while its run is closing
            if (row != nullptr && !row->finished && row->phase.English() == "Updating...") {
                std::filesystem::remove(port);
                ++stage;
            }
            break;
        case 1:   // seen gone; the run ends
            closed = true;
            ++stage;
            break;
        case 2:   // its end is shown; the next calculator comes
            if (row != nullptr && row->finished) {
                plug();
                ++stage;
            }
            break;
        case 3:
            if (RunsOf(port.string()) == 2 && row != nullptr && row->finished) {
                ++stage;
                return ClassroomRequest::Terminate;
            }
            break;
        default:
            break;
        }
        return ClassroomRequest::None;
    };
    {
        CClassroom station(std::move(inputs));
        station.RunStation();
        EXPECT_EQ(RenderAll(station.SummaryLines(), nullptr),
                  (std::vector<std::string>{"updated " + port.string(), "updated " + port.string()}));
        // The second row offered Next while the station ran; its end offers nothing.
        EXPECT_TRUE(std::none_of(view.rows.begin(), view.rows.end(), [](const ClassroomRow& r) { return r.offersNext; }));
        EXPECT_EQ(view.heading.find("Next"), std::string::npos) << view.heading;
    }
    std::filesystem::remove(port);
    EXPECT_EQ(stage, 4);
    EXPECT_FALSE(offered) << "Next was offered for a port that vanished";
    EXPECT_EQ(runsOf[port.string()], 2);
}

// A set's next question is asked in the rows' window when it can ask there,
// and in a box only when it cannot.
TEST_F(Classroom, TheNextSetIsAskedInTheRowsWindowNotInABoxOverIt)
{
    devices.paths = {"usb:1:2", "usb:1:3"};
    view.askAnswers = {IDOK};   // the second set cannot be asked in the window: a box asks
    frontEnd.answers = {IDOK, IDOK, IDOK, IDOK, IDOK, IDOK, IDCANCEL};
    app.RunUpdateLoop();
    EXPECT_EQ(view.asked, (std::vector<std::string>{"Do you want to update another set?"}));
    const std::vector<std::string> boxes = frontEnd.Summary();
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "box Complete (close greyed)"), 1) << ::testing::PrintToString(boxes);
    EXPECT_EQ(boxes.back(), "quit 18");
    EXPECT_EQ(runsOf["usb:1:2"], 2);
    EXPECT_EQ(view.closed, 2);
}

// The window's Close or Escape asks before it ends an idle station (Ctrl+C
// ends it at once, as a script expects); Cancel keeps it going.
TEST_F(Classroom, TheWindowsCloseAsksBeforeEndingAnIdleStation)
{
    for (const bool fromTheWindow : {true, false}) {
        devices.paths = {"usb:1:2"};
        CClassroom::Inputs inputs = StationInputs();
        int requests = 0;
        view.serves = 0;
        view.onServe = [&](RowsView& v) {
            const ClassroomRow* a = v.Row("usb:1:2");
            if (a == nullptr || !a->finished) {
                return ClassroomRequest::None;
            }
            ++requests;
            return fromTheWindow ? ClassroomRequest::Close : ClassroomRequest::Stop;
        };
        frontEnd.answers = {IDCANCEL, IDOK};
        frontEnd.texts.clear();
        CClassroom station(std::move(inputs));
        station.RunStation();
        EXPECT_EQ(requests, fromTheWindow ? 2 : 1);
        if (fromTheWindow) {
            ASSERT_EQ(frontEnd.texts.size(), 2u);
            EXPECT_EQ(frontEnd.texts[0], "Calculators connected after the station ends are not updated.\r\n"
                                         "Do you want to end the station?");
        } else {
            EXPECT_TRUE(frontEnd.texts.empty());
        }
    }
}

// More calculators than runs at once: a set lists the rest as not started,
// with the reason, and never drops one silently; two names of one device
// are one calculator.
TEST_F(Classroom, ASetBeyondItsRoomListsTheRestAsNotStarted)
{
    const size_t total = CClassroom::kMaxRuns + 2;
    for (size_t i = 0; i < total; ++i) {
        devices.paths.push_back("usb:1:" + std::to_string(i) + " hang");
    }
#ifdef _WIN32
    const size_t deviceRows = 0;   // Windows tells devices apart by their paths only
#else
    devices.paths.push_back("/dev/null");
    devices.paths.push_back("/dev/../dev/null");   // the same device again
    const size_t deviceRows = 1;
#endif
    view.onServe = [&](RowsView& v) {
        const size_t running = static_cast<size_t>(std::count_if(
            v.rows.begin(), v.rows.end(), [](const ClassroomRow& row) { return !row.finished; }));
        return running == static_cast<size_t>(CClassroom::kMaxRuns) ? ClassroomRequest::Terminate
                                                                      : ClassroomRequest::None;
    };
    frontEnd.answers = {IDOK, IDOK, IDOK};
    app.RunUpdateLoop();

    // One line per calculator, then the counts of the stopped set.
    ASSERT_EQ(view.summary.size(), total + deviceRows + 1);
    EXPECT_TRUE(view.summary.back().find(" calculators: ") != std::string::npos) << view.summary.back();
    view.summary.pop_back();
    const std::string reason = "256 updates are under way, the most at once; update it with the next set";
    size_t notStarted = 0;
    for (const std::string& line : view.summary) {
        if (line.rfind("not started ", 0) == 0) {
            ++notStarted;
            EXPECT_EQ(line.substr(line.size() - reason.size()), reason) << line;
        }
    }
    EXPECT_EQ(notStarted, 2u + deviceRows);   // the two beyond the room and /dev/null, offered last
    EXPECT_EQ(runsOf.count("/dev/../dev/null"), 0u);
}

// A front end with no rows to show them in is told so in a box, for a set
// and for the station alike, and nothing is updated.
TEST(ClassroomWithoutRows, IsSaidInABoxNeverEndedSilently)
{
    for (const UpdateMode mode : {UpdateMode::All, UpdateMode::Watch}) {
        RecordingFrontEnd frontEnd;
        CListedDeviceSource devices{{"usb:1:2"}, nullptr, Message::Raw("the test's list")};
        UpdaterSettings settings;
        settings.deviceSource = &devices;
        settings.mode = mode;
        settings.checkImages = CheckImagesFn();   // scripted runs read no images
        frontEnd.answers = {IDOK};
        bool ran = false;
        settings.runUpdate = [&](const UpdateRunInputs&) {
            ran = true;
            return UpdateOutcome{Success, {}};
        };
        CUpdaterApp app(&frontEnd, std::move(settings));
        app.RunUpdateLoop();
        EXPECT_EQ(frontEnd.Summary(), (std::vector<std::string>{"box Error", "quit 18"}));
        ASSERT_EQ(frontEnd.texts.size(), 1u);
        EXPECT_EQ(frontEnd.texts[0], "This window cannot show many calculators at once. Start the program in a "
                                     "console to update them.");
        EXPECT_FALSE(ran);
    }
}

#ifdef _WIN32
// Each run of a set asks the system to stay on from its thread while it
// writes and gives that request back from the same thread; the system's own
// call answers (under wine too).
TEST_F(Classroom, EachWritingRunsThreadKeepsTheSystemOnUntilItsRunEnds)
{
    std::mutex calls;
    std::map<std::thread::id, std::vector<unsigned long>> byThread;
    CExecutionStateGuard guard([&](unsigned long flags) {
        const std::lock_guard<std::mutex> hold(calls);
        byThread[std::this_thread::get_id()].push_back(flags);
        return 1ul;
    });
    CUpdaterApp guarded(&frontEnd, ScriptedSet(&guard));
    devices.paths = {"usb:1:2", "usb:1:3", "usb:1:4 cut"};
    frontEnd.answers = {IDOK, IDOK, IDOK, IDCANCEL};
    guarded.RunUpdateLoop();
    ASSERT_EQ(byThread.size(), 3u);
    for (const auto& [thread, flags] : byThread) {
        // ES_CONTINUOUS | ES_SYSTEM_REQUIRED, then ES_CONTINUOUS alone
        // (<windows.h> is not included here: its macros clash with the box words).
        EXPECT_EQ(flags, (std::vector<unsigned long>{0x80000001ul, 0x80000000ul}));
    }
    const std::unique_ptr<IWriteGuard> system = MakeKeepAwake();
    EXPECT_EQ(system->BeginWriting(), "");
    system->EndWriting();
}
#endif

}  // namespace
