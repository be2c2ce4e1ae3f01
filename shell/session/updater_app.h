// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: start-up and the update loop with its prompts.
#include <functional>
#include <string>
#include <vector>

#include "device/claimed_device_list.h"
#include "device/device_listing.h"
#include "device/device_source.h"
#include "shell/records/history.h"
#include "shell/reports/problem_report.h"
#include "shell/screen/main_window.h"
#include "shell/session/run_tally.h"
#include "update/run_update.h"
#include "update/session_images.h"

class CUpdaterCommandLineInfo;
class IFrontEnd;
struct ClassroomRow;

// Exit code of the process after the update loop's quit request.
inline constexpr int kQuitCode = 18;

// One calculator after another, every calculator connected at once
// (--all), or a station that updates each calculator as it is connected
// (--watch).
enum class UpdateMode { Single, All, Watch };

// The claimed-device list is the application's: every update run of the
// process claims its calculator there.
class CUpdaterApp : public CClaimedDeviceList {
public:
    using RunUpdateFn = std::function<UpdateOutcome(const UpdateRunInputs& inputs)>;
    // Copies the images once for a session (one update, one set, one
    // station), waiting through `port` until they are finished files.
    using TakeImagesFn = std::function<bool(CSessionImages& images, const std::string& baseDir, IUpdatePort& port,
                                            Message& problem)>;

    explicit CUpdaterApp(IFrontEnd* frontEnd = nullptr) : m_frontEnd(frontEnd) {}
    CUpdaterApp(const CUpdaterApp&) = delete;
    CUpdaterApp& operator=(const CUpdaterApp&) = delete;

    IFrontEnd& FrontEnd() const { return *m_frontEnd; }
    void SetFrontEnd(IFrontEnd* frontEnd) { m_frontEnd = frontEnd; }

    // Start-up: takes the image directory and the owner from the command
    // line read, makes the main window through m_createMainWindow and runs it
    // modally. Always returns false: no application loop follows.
    bool InitInstance(const CUpdaterCommandLineInfo& commandLine);

    // Asks, runs update runs one calculator after another and reports each
    // result; every way out but a connect prompt that cannot be shown posts
    // the quit request 18.
    void RunUpdateLoop();

    // --all and --watch: asks once for the whole set, then updates the
    // calculators at once through the front end's rows.
    void RunClassroomLoop();

    // What an update run of this application gets.
    UpdateRunInputs RunInputs();

    // One update run; tests put a scripted run here.
    RunUpdateFn m_runUpdate = &RunUpdate;
    // The session's images; null: every run copies them itself (tests'
    // scripted runs need none).
    TakeImagesFn m_takeImages = &TakeSessionImages;
    // Makes the main window of the active front end.
    MainWindowFactory m_createMainWindow;
    // The main window while start-up runs it; null otherwise.
    IMainWindow* m_pMainWnd = nullptr;
    // The base directory: empty, or the image directory followed by "/".
    std::string m_strBaseDir;
    // Started without an image directory where there are no images: the
    // loop asks for the folder first.
    bool m_askForImageFolder = false;
    // The system's calculators are looked for exactly as `choice` names them
    // (by default, as the environment names them).
    void UseDeviceChoice(DeviceChoice choice) { m_systemDevices.SetChoice(std::move(choice)); }
    // The system's calculators tell `decisions` why each was offered,
    // passed over or claimed, and why each run ended.
    void UseDecisionLog(DecisionLog decisions) { m_systemDevices.SetDecisions(std::move(decisions)); }

    // Where calculators are found; the system's by default.
    IDeviceSource* m_devices = &m_systemDevices;
    ReplyWaitPolicy m_wait;
    UpdateMode m_mode = UpdateMode::Single;
    // Nothing names a calculator: the front end may offer the device chooser
    // (once, before the first connect prompt); what the user asks to be
    // remembered goes to m_userConfigFile.
    bool m_offerChooser = false;
    std::string m_userConfigFile;
    std::function<std::vector<ListedDevice>()> m_listCandidates = &ListCandidateDevices;

    // The images are checked before anything is asked or any calculator
    // opened. Images that cannot be used end the loop: said in a box, or
    // with --yes and --json (strict) in one line, with the tally's
    // imagesUnusable (exit status 4).
    bool m_strict = false;
    // The machine's configuration file, where `image-folder` names the
    // folder of a program started without one; empty: none.
    std::string m_machineConfigFile;
    // Files still being written are waited for first.
    std::function<bool(const std::string& baseDir, Message& problem)> m_checkImages =
        [this](const std::string& baseDir, Message& problem) { return CheckImagesSettled(baseDir, problem); };
    // --check: every run reads the calculator's version and writes nothing;
    // the images are compared with only when a folder was given.
    bool m_checkOnly = false;
    // --image-sha256, image-sha256 in a configuration file: the only OS
    // image that may be sent (64 lower-case hex digits); empty: any.
    std::string m_imagePin;
    static bool TakeSessionImages(CSessionImages& images, const std::string& baseDir, IUpdatePort& port,
                                  Message& problem);
    // Where every run is recorded; the program keeps it, tests need not.
    HistorySettings m_history;
    // Keeps the computer awake while calculators are written; null: nothing does.
    IWriteGuard* m_writeGuard = nullptr;
    // What the station tells the service manager that runs it; null: nothing.
    std::function<void(const std::string& state)> m_tellService;
    // What a station lacks, told the service manager with every status.
    std::string m_serviceNote;
    // Saves a problem report where the user asks, from a failure box that
    // offers it; empty: no box offers it.
    ProblemReportWriter m_writeProblemReport;
    // Every calculator's result this session; a run that found none is
    // not counted.
    RunTally m_tally;

private:
    // The session's images into `inputs`; false with `problem` set.
    bool TakeImages(CSessionImages& images, Message& problem);
    // The images of `baseDir` can be sent, once neither is being written.
    bool CheckImagesSettled(const std::string& baseDir, Message& problem);
    // The up-front check of the images; false when the loop is to end.
    bool ImagesUsableFirst();
    UpdateOutcome RunOnce();
    bool PromptImageFolder();
    // What the user is told when the images of `baseDir` cannot be used
    // for `problem`.
    Message ImageFolderProblem(const Message& problem, const std::string& baseDir) const;
    bool PromptDeviceChoice();
    // A row's "Name...": the label line written to the user's file, and used from now on.
    Message NameCalculator(const std::string& device, const std::string& name);
    bool PromptConnect();
    // A check compares with images only when a folder was given.
    bool UsesImages() const { return !m_checkOnly || m_checkWithImages; }
    bool ReportChecked(const UpdateOutcome& outcome);
    bool PromptDataLoss();
    bool ReportFailure(const char* text, const Message& reason);
    bool PromptContinue();
    bool ReportResult(const UpdateOutcome& outcome);
    void PostQuit();
    bool PromptClassroom();
    void CountRows(const std::vector<ClassroomRow>& rows);

    bool m_checkWithImages = false;
    IFrontEnd* m_frontEnd;
    CSystemDeviceSource m_systemDevices;
};
