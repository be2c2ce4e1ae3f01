// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the application is set up: what start-up decided from the command
// line, the environment and the configuration files, and the seams tests
// replace with scripted ones. The application is made from one value of it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/device_choice.h"
#include "device/device_listing.h"
#include "device/device_source.h"
#include "shell/records/history.h"
#include "shell/records/station_status.h"
#include "shell/reports/problem_report.h"
#include "shell/screen/main_window.h"
#include "shell/session/desktop_notice.h"
#include "update/run_update.h"
#include "update/session_images.h"

// One calculator after another, every calculator connected at once
// (--all), or a station that updates each calculator as it is connected
// (--watch).
enum class UpdateMode { Single, All, Watch };

using RunUpdateFn = std::function<UpdateOutcome(const UpdateRunInputs& inputs)>;
// Copies the images once for a session (one update, one set, one station),
// waiting through `port` until they are finished files.
using TakeImagesFn =
    std::function<bool(CSessionImages& images, const std::string& baseDir, IUpdatePort& port, Message& problem)>;
using CheckImagesFn = std::function<bool(const std::string& baseDir, Message& problem)>;

// The images copied for a session, waited for while they are being written.
bool TakeSessionImages(CSessionImages& images, const std::string& baseDir, IUpdatePort& port, Message& problem);

struct UpdaterSettings {
    UpdateMode mode = UpdateMode::Single;
    // The calculators looked for, and the names the configuration gives
    // them, as start-up worked them out; by default none.
    DeviceChoice devices;
    // Nothing names a calculator: the front end may offer the device chooser
    // (once, before the first connect prompt); what the user asks to be
    // remembered goes to userConfigFile.
    bool offerChooser = false;
    std::string userConfigFile;
    // The machine's configuration file, where `image-folder` names the
    // folder of a program started without one; empty: none.
    std::string machineConfigFile;
    // The images are checked before anything is asked or any calculator
    // opened. Images that cannot be used end the loop: said in a box, or
    // with --yes and --json (strict) in one line, with the tally's
    // imagesUnusable (exit status 4).
    bool strict = false;
    // --check: every run reads the calculator's version and writes nothing;
    // the images are compared with only when a folder was given.
    bool checkOnly = false;
    // --image-sha256, image-sha256 in a configuration file: the only OS
    // image that may be sent (64 lower-case hex digits); empty: any.
    std::string imagePin;
    ReplyWaitPolicy wait;
    // Whether an updated calculator is read back after its restart.
    ConfirmPolicy confirm;
    // --retry-failed: the set ("last", or its set_id) whose calculators not
    // updated are the only ones a set or station takes; empty: every one.
    std::string retryFailed;
    // Where every run is recorded; the program keeps it, tests need not.
    HistorySettings history;
    // Keeps the computer awake while calculators are written; null: nothing does.
    IWriteGuard* writeGuard = nullptr;
    // What the station tells the service manager that runs it; null: nothing.
    std::function<void(const std::string& state)> tellService;
    // Saves a problem report where the user asks, from a failure box that
    // offers it; empty: no box offers it.
    ProblemReportWriter writeProblemReport;
    // When a set's end is notified on the desktop, and how; no function: never.
    NoticeSetting notify = NoticeSetting::WhenAway;
    std::function<void(const Message& summary, const Message& body)> showNotice;
    // Where the station keeps its rows while it runs; no path: nowhere.
    StationStatusPlace stationStatus;
    // Where the system's calculators tell why each was offered, passed
    // over or claimed, and why each run ended; off by default.
    DecisionLog decisions;

    // The seams.
    // One update run.
    RunUpdateFn runUpdate = &RunUpdate;
    // The session's images; null: every run copies them itself (scripted
    // runs need none).
    TakeImagesFn takeImages = &TakeSessionImages;
    // Whether the images of a folder can be sent; nothing: the application's
    // own check (files still being written are waited for first); an empty
    // function: no check.
    std::optional<CheckImagesFn> checkImages;
    // The devices the chooser offers.
    std::function<std::vector<ListedDevice>()> listCandidates = &ListCandidateDevices;
    // Where calculators are found; null: the system's, as `devices` names them.
    IDeviceSource* deviceSource = nullptr;
    // Makes the main window of the active front end.
    MainWindowFactory createMainWindow;
    // The image directory before start-up reads the command line (empty, or
    // the directory followed by "/"), and whether the loop asks for the
    // folder first; start-up sets both from the command line.
    std::string baseDir;
    bool askForImageFolder = false;
};
