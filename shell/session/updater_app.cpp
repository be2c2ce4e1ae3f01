// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/updater_app.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>

#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "shell/records/last_run_trace.h"
#include "shell/reports/retry_list.h"
#include "shell/session/classroom.h"
#include "shell/session/front_end.h"
#include "shell/session/image_folder_memory.h"
#include "shell/startup/command_line.h"
#include "shell/startup/device_config.h"
#include "update/image_files.h"

namespace {

constexpr const char* kConnectText = N_("Please connect the calculator.");
constexpr const char* kConnectCaption = N_("Connect the calculator.");
constexpr const char* kDataLossText =
    N_("Updating deletes all data in the calculator's Main Memory.\r\n"
       "If you need the data, make sure you back it up before updating.\r\n"
       "Use the MEMORY mode backup function to backup data.\r\n"
       "\r\n"
       "Do you want to continue with the update?");
constexpr const char* kDataLossCaption = N_("Warning");
constexpr const char* kSureText = N_("Are you sure?");
constexpr const char* kSureCaption = N_("Delete all data in calculator's Main Memory.");
constexpr const char* kFailedText = N_("Update failed.");
constexpr const char* kUnsupportedText = N_("Your calculator is a model that is not supported.");
constexpr const char* kAlreadyCurrentText =
    N_("The operating system of your calculator is the same as or later than the operating "
       "system you are trying to update to.\r\n"
       "You do not need to update your operating system.");
constexpr const char* kErrorCaption = N_("Error");
constexpr const char* kCompleteText =
    N_("Update is complete.\r\nDo you want to continue with the update?");
constexpr const char* kCompleteCaption = N_("Complete");

// Both image files in the directory `baseDir` names (empty: the current one).
bool ImagesPresent(const std::string& baseDir)
{
    std::error_code error;
    return std::filesystem::exists(baseDir + kStubFileName, error) &&
           std::filesystem::exists(baseDir + kOsImageFileName, error);
}

constexpr const char* kSetConnectText =
    N_("Please connect every calculator you want to update.\r\n"
       "All of them are updated at the same time.");
constexpr const char* kStationConnectText =
    N_("Every calculator connected from now on is updated as soon as it is found.\r\n%s");
constexpr const char* kSetCheckText =
    N_("Please connect every calculator you want to check.\r\n"
       "All of them are checked at the same time; nothing is written to them.");
constexpr const char* kStationCheckText =
    N_("Every calculator connected from now on is checked as soon as it is found; nothing is written to it.\r\n%s");
constexpr const char* kSetConnectCaption = N_("Connect the calculators.");
constexpr const char* kSetDataLossText =
    N_("Updating deletes all data in the Main Memory of every calculator that is updated.\r\n"
       "If you need the data, make sure you back it up before updating.\r\n"
       "Use the MEMORY mode backup function to backup data.\r\n"
       "\r\n"
       "Do you want to continue with the update?");
constexpr const char* kSetSureCaption = N_("Delete all data in the Main Memory of every calculator.");

// The set's warnings when its calculators can be counted before it starts.
Message CountedSetDataLossText(size_t count)
{
    return Message::Count("Updating deletes all data in the Main Memory of the %d calculator connected.\r\n"
                          "If you need the data, make sure you back it up before updating.\r\n"
                          "Use the MEMORY mode backup function to backup data.\r\n"
                          "\r\n"
                          "Do you want to continue with the update?",
                          "Updating deletes all data in the Main Memory of the %d calculators connected.\r\n"
                          "If you need the data, make sure you back it up before updating.\r\n"
                          "Use the MEMORY mode backup function to backup data.\r\n"
                          "\r\n"
                          "Do you want to continue with the update?",
                          count, {std::to_string(count)});
}

Message CountedSetSureCaption(size_t count)
{
    return Message::Count("Delete all data in the Main Memory of %d calculator.",
                          "Delete all data in the Main Memory of %d calculators.", count, {std::to_string(count)});
}

constexpr const char* kImagesUnusableText = N_("The images cannot be used; nothing was sent to a calculator.\r\n\r\n%s");

constexpr const char* kNoneFoundText = N_("No calculator was found.");
// --all and --watch where the front end has no rows to show them in.
constexpr const char* kNoClassroomText =
    N_("This window cannot show many calculators at once. Start the program in a console to update them.");
constexpr const char* kSetCompleteCaption = N_("Complete");

constexpr const char* kNotRememberedText =
    N_("The calculator could not be remembered; it is used for this session only.");

constexpr unsigned kExclamationOk = MB_OK | MB_ICONEXCLAMATION;

}  // namespace

CUpdaterApp::CUpdaterApp(IFrontEnd* frontEnd, UpdaterSettings settings)
    : m_runUpdate(std::move(settings.runUpdate)),
      m_takeImages(std::move(settings.takeImages)),
      m_createMainWindow(std::move(settings.createMainWindow)),
      m_strBaseDir(std::move(settings.baseDir)),
      m_askForImageFolder(settings.askForImageFolder),
      m_devices(settings.deviceSource != nullptr ? settings.deviceSource : &m_systemDevices),
      m_wait(std::move(settings.wait)),
      m_confirm(settings.confirm),
      m_retryFailed(std::move(settings.retryFailed)),
      m_mode(settings.mode),
      m_offerChooser(settings.offerChooser),
      m_userConfigFile(std::move(settings.userConfigFile)),
      m_listCandidates(std::move(settings.listCandidates)),
      m_strict(settings.strict),
      m_machineConfigFile(std::move(settings.machineConfigFile)),
      m_checkOnly(settings.checkOnly),
      m_imagePin(std::move(settings.imagePin)),
      m_history(std::move(settings.history)),
      m_writeGuard(settings.writeGuard),
      m_tellService(std::move(settings.tellService)),
      m_writeProblemReport(std::move(settings.writeProblemReport)),
      m_stationStatus(std::move(settings.stationStatus)),
      m_notify(settings.notify),
      m_showNotice(std::move(settings.showNotice)),
      m_frontEnd(frontEnd)
{
    m_checkImages = settings.checkImages ? std::move(*settings.checkImages)
                                         : [this](const std::string& baseDir, Message& problem) {
                                               return CheckImagesSettled(baseDir, problem);
                                           };
    UseDeviceChoice(std::move(settings.devices));
    m_systemDevices.SetDecisions(std::move(settings.decisions));
}

void CUpdaterApp::TellSetEnded(const std::vector<ClassroomRow>& rows, size_t notConnected)
{
    if (!m_history.hooks) {
        return;
    }
    const RunTally counts = CountsOf(rows, notConnected);
    const int calculators = counts.updated + counts.current + counts.unsupported + counts.failed + counts.checked;
    m_history.hooks->SetEnded({{"calculators", calculators},
                               {"updated", counts.updated},
                               {"current", counts.current},
                               {"unsupported", counts.unsupported},
                               {"failed", counts.failed},
                               {"checked", counts.checked},
                               {"not-connected", counts.notConnected}});
}

void CUpdaterApp::NotifySetEnded(const std::vector<ClassroomRow>& rows, size_t notConnected)
{
    if (!m_showNotice || m_notify == NoticeSetting::Never ||
        (m_notify == NoticeSetting::WhenAway && FrontEnd().WindowActive())) {
        return;
    }
    Message failed;
    for (const ClassroomRow& row : rows) {
        if (row.finished && (row.result == Failed || row.result == UnsupportedModel)) {
            failed = failed.Empty() ? CalculatorName(row) : Message(N_("%s, %s"), {failed, CalculatorName(row)});
        }
    }
    Message body = CountsText(rows, notConnected);
    if (!failed.Empty()) {
        body = Message(N_("%s\nNot updated: %s"), {body, failed});
    }
    m_showNotice(Message(m_checkOnly ? N_("The check of the set is done") : N_("The set is done")), body);
}

bool CUpdaterApp::InitInstance(const CUpdaterCommandLineInfo& info)
{
    const int owner = OwnerNumberFromText(info.m_strPrinterName);

    std::unique_ptr<IMainWindow> mainWindow =
        m_createMainWindow ? m_createMainWindow(owner, [this] { RunUpdateLoop(); }) : nullptr;
    if (mainWindow == nullptr) {
        return false;   // no window to show: nothing happens
    }
    m_pMainWnd = mainWindow.get();
    if (m_frontEnd != nullptr) {
        m_frontEnd->SetCalculatorNamer([this](const std::string& device, const CalculatorNaming& naming) {
            return NameCalculator(device, naming);
        });
    }
    m_strBaseDir = BaseDirectoryFor(info.m_strFileName);
    m_checkWithImages = !info.m_strFileName.empty();
    m_askForImageFolder = info.m_strFileName.empty() && !ImagesPresent("") && !m_checkOnly;

    mainWindow->DoModal();

    m_pMainWnd = nullptr;
    return false;
}

UpdateRunInputs CUpdaterApp::RunInputs()
{
    UpdateRunInputs inputs;
    inputs.baseDir = m_strBaseDir;
    inputs.devices = m_devices;
    inputs.claimed = &m_claimed;
    inputs.wait = m_wait;
    inputs.port = m_frontEnd;
    inputs.trace = RunTraceSettingsOf(m_history);
    inputs.writeGuard = m_writeGuard;
    inputs.checkOnly = m_checkOnly;
    inputs.confirm = m_confirm;
    return inputs;
}

// Why; when the images are missing, also what the folder must hold, and for
// a program given no folder where one can be named. Images that are there
// but refused (a pin they do not match) have their own remedy.
Message CUpdaterApp::ImageFolderProblem(const Message& problem, const std::string& baseDir) const
{
    if (ImagesPresent(baseDir)) {
        return problem;
    }
    const std::string folder = baseDir.empty() ? std::string(".") : baseDir;
    Message said(N_("%s: the folder %s must hold the updater stub %s and the OS image %s; put them there, or "
                    "start the program with the folder that holds them"),
                 {problem, SafeText(folder), std::string(kStubFileName), std::string(kOsImageFileName)});
    if (baseDir.empty() && !m_machineConfigFile.empty()) {
        said = Message(N_("%s, or name it with a line image-folder = FOLDER in %s"), {said, SafeText(m_machineConfigFile)});
    }
    return said;
}

bool TakeSessionImages(CSessionImages& images, const std::string& baseDir, IUpdatePort& port, Message& problem)
{
    return images.Take(baseDir, "", port, problem);
}

bool CUpdaterApp::TakeImages(CSessionImages& images, Message& problem)
{
    if (!m_takeImages) {
        return true;
    }
    if (m_takeImages(images, m_strBaseDir, FrontEnd(), problem)) {
        problem = PinProblem(m_strBaseDir, images.Images().os, m_imagePin);
        return problem.Empty();
    }
    problem = ImageFolderProblem(problem, m_strBaseDir);
    return false;
}

bool CUpdaterApp::CheckImagesSettled(const std::string& baseDir, Message& problem)
{
    CSessionImages settling;
    return settling.AwaitStill(baseDir, FrontEnd(), problem) && CheckImageFolder(baseDir, "", problem, m_imagePin);
}

bool CUpdaterApp::ImagesUsableFirst()
{
    Message problem;
    if (!UsesImages() || !m_checkImages || m_checkImages(m_strBaseDir, problem)) {
        return true;
    }
    const Message said = ImageFolderProblem(problem, m_strBaseDir);
    if (m_tellService) {
        m_tellService("STATUS=the images cannot be used: " + said.English());
    }
    if (m_strict) {
        FrontEnd().Warn(Message(N_("the images cannot be used: %s"), {said}));
        m_tally.imagesUnusable = true;
    } else {
        FrontEnd().MessageBox(Message(kImagesUnusableText, {said}), Message(kErrorCaption), kExclamationOk);
    }
    PostQuit();
    return false;
}

UpdateOutcome CUpdaterApp::RunOnce()
{
    // The images are copied for this run alone, right before it, as the
    // run itself would: images that cannot be used fail the run.
    CSessionImages images;
    UpdateOutcome outcome;
    if (UsesImages() && !TakeImages(images, outcome.reason)) {
        return outcome;
    }
    UpdateRunInputs inputs = RunInputs();
    inputs.images = m_takeImages && UsesImages() ? &images.Images() : nullptr;
    return m_runUpdate(inputs);
}

void CUpdaterApp::RunUpdateLoop()
{
    if (!PromptImageFolder() || !ImagesUsableFirst()) {
        return;
    }
    if (!PromptDeviceChoice()) {
        return;
    }
    if (m_mode != UpdateMode::Single) {
        RunClassroomLoop();
        return;
    }
    for (;;) {
        if (!PromptConnect() || (!m_checkOnly && !PromptDataLoss())) {
            return;
        }
        // Close stays greyed until the report of this run has been answered.
        const bool hasCloseCommand = FrontEnd().SetCloseEnabled(false);
        const auto started = std::chrono::system_clock::now();
        if (m_history.metrics) {
            const Message notWritten = m_history.metrics->RunStarted();
            if (!notWritten.Empty()) {
                FrontEnd().Warn(notWritten);
            }
        }
        const UpdateOutcome outcome = RunOnce();
        FrontEnd().RunEnded(RecordRun(m_history, "single", started, outcome, FrontEnd()));
        if (outcome.result != Failed || !outcome.facts.device.empty()) {
            m_tally.Count(outcome.result);
        }
        const bool again = ReportResult(outcome);
        if (hasCloseCommand) {
            FrontEnd().SetCloseEnabled(true);
        }
        if (!again) {
            return;
        }
    }
}

bool CUpdaterApp::PromptImageFolder()
{
    if (!m_askForImageFolder) {
        return true;
    }
    m_askForImageFolder = false;
    // The chooser starts where the images were found last time.
    std::string folder = RememberedImageFolder(m_userConfigFile);
    // The chooser refuses a folder whose images cannot be used, and stays open.
    const ImageFolderCheck check = [this](const std::string& chosen) {
        Message problem;
        const std::string baseDir = BaseDirectoryFor(chosen);
        if (!m_checkImages || m_checkImages(baseDir, problem)) {
            return Message();
        }
        return ImageFolderProblem(problem, baseDir);
    };
    if (!FrontEnd().ChooseImageFolder(folder, check)) {
        PostQuit();
        return false;
    }
    if (!folder.empty() && !m_userConfigFile.empty()) {
        const Message failed = RememberImageFolder(m_userConfigFile, folder);
        if (!failed.Empty()) {
            FrontEnd().Warn(failed);
        }
    }
    if (!folder.empty()) {
        m_strBaseDir = BaseDirectoryFor(folder);
    }
    return true;
}

Message CUpdaterApp::NameCalculator(const std::string& device, const CalculatorNaming& naming)
{
    const Message failed = RememberLabel(m_userConfigFile, device, naming.label, naming.assetTag);
    if (failed.Empty()) {
        m_systemDevices.GiveName({device, SafeText(TypedLabel(naming.label), kLabelChars)},
                                 {device, SafeText(TypedLabel(naming.assetTag), kLabelChars)});
    }
    return failed;
}

bool CUpdaterApp::PromptDeviceChoice()
{
    if (!m_offerChooser) {
        return true;
    }
    m_offerChooser = false;
    // Each with the label the configuration gives it.
    const CandidateLister lister = [list = m_listCandidates, labels = m_systemDevices.Labels()] {
        std::vector<ListedDevice> found = list();
        AttachLabels(found, labels);
        return found;
    };
    const std::vector<ListedDevice> candidates = lister();
    DeviceChooserResult result;
    FrontEnd().SetCandidateLister(lister);
    switch (FrontEnd().ChooseDevices(candidates, m_mode != UpdateMode::Single, result)) {
    case ChooserAnswer::NotAsked:
        return true;
    case ChooserAnswer::Cancelled:
        PostQuit();
        return false;
    case ChooserAnswer::Chosen:
        break;
    }
    ChosenCandidates chosen = TakeChosen(result.shown.empty() ? candidates : result.shown, result.chosen);
    chosen.choice.labels = m_systemDevices.Labels();
    UseDeviceChoice(chosen.choice);
    if (result.remember) {
        const Message failed = RememberDevices(m_userConfigFile, chosen.rememberLines);
        if (!failed.Empty()) {
            FrontEnd().MessageBox(Message(kNotRememberedText), Message(kDataLossCaption), kExclamationOk, failed);
        }
    }
    return true;
}

bool CUpdaterApp::PromptConnect()
{
    // A box with only OK answers OK unless it cannot be shown; then the loop
    // ends without a quit request and the main window stays up. (Ctrl+C at
    // the console answers Cancel, and the console ends the program itself.)
    return FrontEnd().MessageBox(Message(kConnectText), Message(kConnectCaption), kExclamationOk) == IDOK;
}

bool CUpdaterApp::PromptDataLoss()
{
    if (FrontEnd().MessageBox(Message(kDataLossText), Message(kDataLossCaption), kWarningOkCancel) == IDOK &&
        FrontEnd().MessageBox(Message(kSureText), Message(kSureCaption), kWarningOkCancel) == IDOK) {
        return true;
    }
    PostQuit();
    return false;
}

bool CUpdaterApp::ReportFailure(const char* text, const Message& reason)
{
    FrontEnd().FailureBox(Message(text), Message(kErrorCaption), reason, m_writeProblemReport);
    PostQuit();
    return false;
}

bool CUpdaterApp::PromptContinue(const Message& note)
{
    // An update that could not be read back says so under the question.
    if (FrontEnd().EndBox(Message(kCompleteText), Message(kCompleteCaption), MB_OKCANCEL, note) == IDOK) {
        return true;
    }
    PostQuit();
    return false;
}

bool CUpdaterApp::ReportChecked(const UpdateOutcome& outcome)
{
    const Message text(N_("%s\r\nDo you want to check another calculator?"), {CheckedText(outcome.facts)});
    if (FrontEnd().MessageBox(text, Message(N_("Checked")), MB_OKCANCEL) == IDOK) {
        return true;
    }
    PostQuit();
    return false;
}

bool CUpdaterApp::ReportResult(const UpdateOutcome& outcome)
{
    switch (outcome.result) {
    case Checked:
        return ReportChecked(outcome);
    case Failed:
        return ReportFailure(kFailedText, outcome.reason);
    case UnsupportedModel:
        return ReportFailure(kUnsupportedText, outcome.reason);
    case AlreadyCurrent:
        return ReportFailure(kAlreadyCurrentText, outcome.reason);
    default:
        return PromptContinue(outcome.reason);
    }
}

void CUpdaterApp::PostQuit()
{
    FrontEnd().PostQuitMessage(kQuitCode);
}

bool CUpdaterApp::PromptClassroom(const RetryList* retry)
{
    const bool station = m_mode == UpdateMode::Watch;
    const char* connectText = m_checkOnly ? (station ? kStationCheckText : kSetCheckText)
                                          : (station ? kStationConnectText : kSetConnectText);
    // A station's box ends with how this front end ends it.
    const Message ending(FrontEnd().Classroom()->Words().endConnect);
    const int connect = FrontEnd().MessageBox(station ? Message(connectText, {ending}) : Message(connectText),
                                              Message(kSetConnectCaption), kExclamationOk);
    if (connect != IDOK) {
        return false;
    }
    if (m_checkOnly) {
        return true;   // nothing is erased: no warnings
    }
    // A set erases the calculators connected now: the warnings count them.
    const size_t count = station ? 0 : CClassroom::PresentCount(m_devices, retry);
    const Message dataLoss = count > 0 ? CountedSetDataLossText(count) : Message(kSetDataLossText);
    const Message sure = count > 0 ? CountedSetSureCaption(count) : Message(kSetSureCaption);
    if (FrontEnd().MessageBox(dataLoss, Message(kDataLossCaption), kWarningOkCancel) == IDOK &&
        FrontEnd().MessageBox(Message(kSureText), sure, kWarningOkCancel) == IDOK) {
        return true;
    }
    PostQuit();
    return false;
}

namespace {

Message SetSummaryText(const std::vector<ClassroomRow>& rows, size_t notConnected, bool check)
{
    return Message(check ? N_("%s\r\nDo you want to check another set?") : N_("%s\r\nDo you want to update another set?"),
                   {CountsText(rows, notConnected)});
}

// Asked inside the rows' window, whose heading says the counts already.
constexpr const char* kAnotherSetText = N_("Do you want to update another set?");
constexpr const char* kAnotherCheckText = N_("Do you want to check another set?");

}  // namespace

namespace {

// The calculators of a set just run that failed: a retry list under the
// set's name. A model the program does not support is not among them:
// another try cannot update it.
RetryList FailedOf(const std::string& setId, const std::vector<ClassroomRow>& rows)
{
    RetryList list{setId, {}};
    for (const ClassroomRow& row : rows) {
        if (row.finished && !row.skipped && row.result == Failed) {
            list.targets.push_back({row.usb.serial, row.usb.label, row.usb.port, row.device});
        }
    }
    return list;
}

}  // namespace

bool CUpdaterApp::AskAfterSet(IClassroomView& view, const CClassroom& classroom, std::optional<RetryList>& retry)
{
    const RetryList failed = FailedOf(classroom.SetId(), classroom.EveryRow());
    const size_t count = failed.targets.size();
    const Message again = m_checkOnly || count == 0 ? Message()
                                                    : Message::Count("Update the %d that failed again",
                                                                     "Update the %d that failed again", count,
                                                                     {std::to_string(count)});
    int answer = view.Ask(m_checkOnly ? kAnotherCheckText : kAnotherSetText, again);
    if (answer == 0) {
        answer = FrontEnd().AskAnotherSet(SetSummaryText(classroom.Rows(), classroom.NotConnected(), m_checkOnly),
                                          Message(kSetCompleteCaption), again);
    }
    if (answer == IDRETRY && count > 0) {
        retry = failed;   // the next set: those alone, named after this one
        return true;
    }
    retry.reset();
    return answer == IDOK;
}

void CUpdaterApp::CountRows(const std::vector<ClassroomRow>& rows)
{
    for (const ClassroomRow& row : rows) {
        if (row.finished && !row.skipped) {
            m_tally.Count(row.result);
        }
    }
}

void CUpdaterApp::RunClassroomLoop()
{
    IClassroomView* view = FrontEnd().Classroom();
    if (view == nullptr) {
        // Never silently: the user is told why nothing happens.
        FrontEnd().MessageBox(Message(kNoClassroomText), Message(kErrorCaption), kExclamationOk);
        PostQuit();
        return;
    }
    // Only the calculators a set did not update, when asked: read once.
    std::optional<RetryList> retry;
    if (!m_retryFailed.empty()) {
        retry.emplace();
        Message problem;
        if (!ReadRetryList(m_history.path, m_retryFailed, *retry, problem)) {
            FrontEnd().MessageBox(Message(N_("There is nothing to update again: %s."), {problem}), Message(kErrorCaption),
                                  kExclamationOk);
            PostQuit();
            return;
        }
        if (retry->targets.empty()) {
            FrontEnd().MessageBox(Message(N_("Every calculator of the set %s was updated or is current: there is "
                                             "nothing to update again."),
                                          {SafeText(retry->setId)}),
                                  Message(kSetCompleteCaption), MB_OK);
            PostQuit();
            return;
        }
    }
    for (;;) {
        if (!PromptClassroom(retry ? &*retry : nullptr)) {
            return;
        }
        const bool hasCloseCommand = FrontEnd().SetCloseEnabled(false);
        // One copy of the images for the whole set or station.
        CSessionImages images;
        Message problem;
        if (UsesImages() && !TakeImages(images, problem)) {
            ReportFailure(kFailedText, problem);
            if (hasCloseCommand) {
                FrontEnd().SetCloseEnabled(true);
            }
            return;
        }
        CClassroom::Inputs inputs;
        inputs.baseDir = m_strBaseDir;
        inputs.images = m_takeImages && UsesImages() ? &images : nullptr;
        inputs.checkOnly = m_checkOnly;
        inputs.devices = m_devices;
        inputs.wait = m_wait;
        inputs.confirm = m_confirm;
        inputs.retry = retry ? &*retry : nullptr;
        inputs.runUpdate = m_runUpdate;
        inputs.frontEnd = m_frontEnd;
        inputs.view = view;
        inputs.history = m_history;
        inputs.history.retryOf = retry ? retry->setId : std::string();
        inputs.historyMode = m_mode == UpdateMode::Watch ? "watch" : "all";
        inputs.writeGuard = m_writeGuard;
        inputs.tellService = m_tellService;
        inputs.serviceNote = m_serviceNote;
        if (m_mode == UpdateMode::Watch) {
            inputs.statusFile = m_stationStatus.path;
            inputs.statusFileMode = m_stationStatus.mode;
        }
        CClassroom classroom(std::move(inputs));
        bool again = false;
        if (m_mode == UpdateMode::Watch) {
            classroom.RunStation();
            TellSetEnded(classroom.StationCalculators(), 0);
            CountRows(classroom.StationCalculators());
            view->AwaitClose();   // every calculator it saw stays in sight
            view->CloseRows();
        } else {
            const CClassroom::SetEnd end = classroom.RunAllAtOnce();
            m_tally.notConnected += static_cast<int>(classroom.NotConnected());
            if (end != CClassroom::SetEnd::NoneFound) {
                TellSetEnded(classroom.EveryRow(), classroom.NotConnected());
                NotifySetEnded(classroom.EveryRow(), classroom.NotConnected());
            }
            if (end == CClassroom::SetEnd::NoneFound) {
                view->CloseRows();
                FrontEnd().EndBox(Message(kNoneFoundText), Message(kErrorCaption), kExclamationOk, m_devices->Describe());
            } else if (end == CClassroom::SetEnd::Done) {
                CountRows(classroom.EveryRow());
                again = AskAfterSet(*view, classroom, retry);
                view->CloseRows();
            } else {
                // Stopped: every row's result stays in sight until closed.
                CountRows(classroom.EveryRow());
                view->AwaitClose();
                view->CloseRows();
            }
        }
        if (hasCloseCommand) {
            FrontEnd().SetCloseEnabled(true);
        }
        if (!again) {
            PostQuit();
            return;
        }
    }
}
