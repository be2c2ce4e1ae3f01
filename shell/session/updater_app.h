// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: start-up and the update loop with its prompts.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/claimed_device_list.h"
#include "shell/session/front_end.h"
#include "shell/session/run_tally.h"
#include "shell/session/updater_settings.h"

class CUpdaterCommandLineInfo;
class IFrontEnd;
struct RetryList;
struct ClassroomRow;
class CClassroom;
class IClassroomView;

// Exit code of the process after the update loop's quit request.
inline constexpr int kQuitCode = 18;

class CUpdaterApp {
public:
    explicit CUpdaterApp(IFrontEnd* frontEnd = nullptr, UpdaterSettings settings = {});
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

    // The main window's maker, once the front end is known.
    void SetMainWindowFactory(MainWindowFactory factory) { m_createMainWindow = std::move(factory); }
    // What a station lacks, told the service manager with every status.
    void SetServiceNote(std::string note) { m_serviceNote = std::move(note); }

    // The claimed-device list is the application's: every update run of the
    // process claims its calculator there (see CClaimedDeviceList).
    int ClaimDevicePath(const char* path) { return m_claimed.ClaimDevicePath(path); }
    int ReleaseDevicePath(const char* path) { return m_claimed.ReleaseDevicePath(path); }
    // The paths claimed now; read it only while no run can claim or release.
    int32_t ClaimedCount() const { return m_claimed.m_claimedCount; }

    UpdateMode Mode() const { return m_mode; }
    // Nothing names a calculator: the front end may offer the device chooser.
    bool OffersChooser() const { return m_offerChooser; }
    // The base directory: empty, or the image directory followed by "/".
    const std::string& BaseDir() const { return m_strBaseDir; }
    IMainWindow* MainWindow() const { return m_pMainWnd; }
    // Every calculator's result this session; a run that found none is
    // not counted.
    const RunTally& Tally() const { return m_tally; }

    // The main window while start-up runs it; null otherwise.
    IMainWindow* m_pMainWnd = nullptr;

private:
    // The system's calculators are looked for exactly as `choice` names them.
    void UseDeviceChoice(DeviceChoice choice) { m_systemDevices.SetChoice(std::move(choice)); }
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
    Message NameCalculator(const std::string& device, const CalculatorNaming& naming);
    bool PromptConnect();
    // A check compares with images only when a folder was given.
    bool UsesImages() const { return !m_checkOnly || m_checkWithImages; }
    bool ReportChecked(const UpdateOutcome& outcome);
    bool PromptDataLoss();
    bool ReportFailure(const char* text, const Message& reason);
    bool PromptContinue(const Message& note);
    bool ReportResult(const UpdateOutcome& outcome);
    void PostQuit();
    // Of a retry (`retry`), the warnings count only the calculators of its list.
    bool PromptClassroom(const RetryList* retry);
    // The end of a set that was done: another set, the ones that failed
    // again (`retry` becomes their list), or none (false).
    bool AskAfterSet(IClassroomView& view, const CClassroom& classroom, std::optional<RetryList>& retry);
    void CountRows(const std::vector<ClassroomRow>& rows);
    // The set's or the station's end, told its on-set-end command.
    void TellSetEnded(const std::vector<ClassroomRow>& rows, size_t notConnected);
    // The set's end on the desktop, for a user away from the window.
    void NotifySetEnded(const std::vector<ClassroomRow>& rows, size_t notConnected);

    RunUpdateFn m_runUpdate;
    TakeImagesFn m_takeImages;
    MainWindowFactory m_createMainWindow;
    std::string m_strBaseDir;
    bool m_askForImageFolder;
    CSystemDeviceSource m_systemDevices;
    IDeviceSource* m_devices;
    ReplyWaitPolicy m_wait;
    ConfirmPolicy m_confirm;
    std::string m_retryFailed;
    UpdateMode m_mode;
    bool m_offerChooser;
    std::string m_userConfigFile;
    std::function<std::vector<ListedDevice>()> m_listCandidates;
    bool m_strict;
    std::string m_machineConfigFile;
    CheckImagesFn m_checkImages;
    bool m_checkOnly;
    std::string m_imagePin;
    HistorySettings m_history;
    IWriteGuard* m_writeGuard;
    std::function<void(const std::string& state)> m_tellService;
    std::string m_serviceNote;
    ProblemReportWriter m_writeProblemReport;
    StationStatusPlace m_stationStatus;
    NoticeSetting m_notify;
    std::function<void(const Message& summary, const Message& body)> m_showNotice;
    RunTally m_tally;
    bool m_checkWithImages = false;
    CClaimedDeviceList m_claimed;
    IFrontEnd* m_frontEnd;
};
