// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-update [DIR [OWNER]]: replaces a Zentrix calculator's operating
// system with the images in DIR. A window on a desktop, the console
// elsewhere (ZENTRIX_UI=gui or =console decides when set).
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/device_list.h"
#include "app/grant_access.h"
#include "app/process_guard.h"
#include "app/translations.h"
#include "device/decision_log.h"
#include "device/device_listing.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/records/history_file.h"
#include "shell/records/last_run_trace.h"
#include "shell/reports/history_report.h"
#include "shell/reports/problem_report.h"
#include "shell/screen/console_main_window.h"
#include "shell/screen/own_lines.h"
#include "shell/session/keep_awake.h"
#include "shell/session/service_manager.h"
#include "shell/records/station_status.h"
#include "shell/reports/station_status_report.h"
#include "shell/session/updater_app.h"
#include "shell/startup/command_line.h"
#include "shell/startup/debug_output.h"
#include "shell/startup/device_config.h"
#include "shell/startup/reply_timeout.h"
#include "shell/startup/ui_mode.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_input.h"
#include "ui/console/json_front_end.h"
#include "ui/console/terminal_width.h"
#include "update/sha256.h"

namespace {

const char* ModeName(UpdateMode mode)
{
    return mode == UpdateMode::All ? "all" : mode == UpdateMode::Watch ? "watch" : "single";
}

// The console's main window; with `events` the loop starts with the
// `started` event (the image folder is known by then).
void UseConsoleWindow(CUpdaterApp& app, CJsonEvents* events)
{
    // The owner number is read and has no use here.
    app.SetMainWindowFactory([&app, events](int /*owner*/, StartLoop start) {
        StartLoop loop = [&app, events, start = std::move(start)] {
            if (events != nullptr) {
                events->Started(ZENTRIX_VERSION, ModeName(app.Mode()), app.BaseDir());
            }
            start();
        };
        return std::unique_ptr<IMainWindow>(std::make_unique<CConsoleMainWindow>(std::move(loop)));
    });
}

int RunOnConsole(CUpdaterApp& app, const ProgramOptions& options, const DeviceSources& files, const COwnLines& say)
{
    const MoCatalogue* texts = say.Catalogue();
    // The station as a system service reads the machine's file alone.
    const bool service = app.Mode() == UpdateMode::Watch && StartedByServiceManager();
    if (app.OffersChooser()) {
        std::vector<Message> candidates;
        for (const ListedDevice& device : ListCandidateDevices()) {
            candidates.push_back(FormatListedDevice(device));
        }
        const std::string& file = service ? files.machineFile : files.userFile;
        say.Say(NothingConfiguredLine(file, candidates), OwnLineKind::Plain);
        if (service) {
            app.SetServiceNote("no calculator is configured: add a line usb-id = VVVV:PPPP to " + file +
                               " (zentrix-update --grant-access VVVV:PPPP --group zentrix-station does)");
        }
    }
    StopRequests* stops = InstallStopSignals(false);
    CFdInput input(STDIN_FILENO, stops);
    // With --json the boxes are shown on standard error, to whoever answers them.
    CConsoleFrontEnd frontEnd(input, options.json ? std::cerr : std::cout, std::cerr, isatty(STDERR_FILENO) != 0,
                              stops);
    frontEnd.SetCatalogue(texts);
    const int boxFd = options.json ? STDERR_FILENO : STDOUT_FILENO;
    frontEnd.FitBoxesTo([boxFd] { return TerminalSizeOf(boxFd); });
    if (options.assumeYes) {
        frontEnd.AssumeYes();
    }
    if (service) {
        frontEnd.RunByServiceManager();
    }
    CJsonEvents events(std::cout);
    CJsonFrontEnd jsonFrontEnd(frontEnd, events, options.assumeYes ? AnswerSource::AssumeYes : AnswerSource::Input);
    app.SetFrontEnd(options.json ? static_cast<IFrontEnd*>(&jsonFrontEnd) : &frontEnd);
    UseConsoleWindow(app, options.json ? &events : nullptr);
    app.InitInstance(options.launcher);
    app.SetFrontEnd(nullptr);
    if (options.json) {
        events.Summary(app.Tally());
    }
    std::cout.flush();
    return options.assumeYes || options.json ? app.Tally().ExitCode() : frontEnd.QuitCode();
}

// Reads ZENTRIX_REPLY_TIMEOUT, else the configuration files' reply-timeout,
// into the run's wait policy. A variable that is not a number of seconds is
// a warning and counts as unset; false, with --yes or --json, where it is
// refused: nobody is there to read a warning, and a typo must not change
// what the run does.
bool ReadReplyTimeout(ReplyWaitPolicy& wait, const ProgramOptions& options, const DeviceSources& files,
                      const COwnLines& say)
{
    const ReplyTimeoutSetting setting = ParseReplyTimeout(std::getenv("ZENTRIX_REPLY_TIMEOUT"));
    if (setting.malformed && options.Strict()) {
        say.Say(setting.refusal, OwnLineKind::Error);
        return false;
    }
    if (!setting.warning.Empty()) {
        say.Say(setting.warning);
    }
    const SilenceLimit limit = ChooseSilenceLimit(setting, ConfiguredSilenceLimitMs(files), options.Strict());
    wait.silenceLimitMs = limit.ms;
    wait.silenceLimitSource = limit.source;
    return true;
}

// Whether updated calculators are read back after their restart: in every
// mode of the program's own; in the launcher's single update with its
// questions only when asked for ('confirm = on', --confirm), so that its
// exchange stays as it was. 'confirm = off' turns it off but for --confirm.
ConfirmPolicy ConfirmPolicyOf(const ProgramOptions& options, const DeviceSources& files)
{
    ConfirmPolicy confirm;
    const std::string setting = ConfiguredSetting(files, "confirm").value_or("");
    const bool programsOwn = options.option == ProgramOption::All || options.option == ProgramOption::Watch ||
                             options.assumeYes || options.json;
    confirm.enabled = !options.check && (options.confirm || (setting != "off" && (setting == "on" || programsOwn)));
    const std::optional<int> seconds =
        options.confirmTimeout ? options.confirmTimeout : SettingSeconds(ConfiguredSetting(files, "confirm-timeout").value_or(""));
    if (seconds) {
        confirm.timeoutMs = static_cast<uint32_t>(*seconds) * 1000;
    }
    return confirm;
}

// The commands the configuration asks to be run after each record and at
// each set's end; null when it names none. The station as a system service
// takes them from the machine's file alone.
std::shared_ptr<CRunHooks> MakeHooks(const DeviceSources& files, const ProgramOptions& options, const COwnLines& say)
{
    const bool service = options.option == ProgramOption::Watch && StartedByServiceManager();
    const auto setting = [&](const char* key) -> std::string {
        if (service) {
            const ConfigValue* value = files.read->machine.Find(key);
            return value != nullptr ? value->value : std::string();
        }
        return ConfiguredSetting(files, key).value_or("");
    };
    HookSettings hooks;
    hooks.onRunEnd = setting("on-run-end");
    hooks.onSetEnd = setting("on-set-end");
    if (hooks.onRunEnd.empty() && hooks.onSetEnd.empty()) {
        return nullptr;
    }
    if (const std::optional<int> seconds = SettingSeconds(setting("hook-timeout"))) {
        hooks.timeout = std::chrono::seconds(*seconds);
    }
    // Hooks end on threads of their own: one line at a time.
    auto lock = std::make_shared<std::mutex>();
    return std::make_shared<CRunHooks>(hooks, [&say, lock](const Message& problem) {
        const std::lock_guard<std::mutex> hold(*lock);
        say.Say(problem);
    });
}

// The folder of the user's files that last while the user is logged in.
const char* UserRuntimeFolder()
{
#ifdef _WIN32
    return std::getenv("LOCALAPPDATA");
#else
    return std::getenv("XDG_RUNTIME_DIR");
#endif
}

// The configuration files, where the environment places them; worked out
// once for the whole process.
DeviceSources ConfigFiles()
{
    DeviceSources files;
#ifdef _WIN32
    files.userFile = UserConfigFile(nullptr, nullptr, std::getenv("LOCALAPPDATA"));
#else
    files.userFile = UserConfigFile(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), nullptr);
#endif
    files.machineFile = MachineConfigFile(std::getenv("ZENTRIX_MACHINE_CONFIG_DIR"), std::getenv("PROGRAMDATA"));
    return files;
}

// The calculators to look for, from the first source that names any; the
// warnings of the configuration files go to standard error.
DeviceChoice ChooseDevices(const ProgramOptions& options, const DeviceSources& files, const COwnLines& say)
{
    DeviceSources sources;
    sources.commandLineDevices = options.devices;
    sources.commandLineUsbIds = options.usbIds;
    sources.environmentDevices = std::getenv("ZENTRIX_DEVICES");
    sources.environmentUsbIds = std::getenv("ZENTRIX_USB_IDS");
    sources.userFile = files.userFile;
    sources.machineFile = files.machineFile;
    sources.read = files.read;
    sources.decisions = files.decisions;
    ResolvedDevices resolved = ResolveDevices(sources);
    for (const Message& warning : resolved.warnings) {
        say.Say(warning);
    }
    return std::move(resolved.choice);
}

// A problem report's parts as they stand now, with the listing of `devices`.
ProblemReportParts ReportParts(const DeviceChoice& devices)
{
    std::ostringstream listing;
    PrintDeviceList(devices, listing, COwnLines(listing, nullptr));
    const std::string history = HistoryFilePath();
#ifdef _WIN32
    const char* home = std::getenv("USERPROFILE");
#else
    const char* home = std::getenv("HOME");
#endif
    return {ZENTRIX_VERSION, PlatformDescription(), listing.str(), history, LastRunTracePath(history),
            home != nullptr ? home : ""};
}

// --report-problem [FILE]: the last run's record and trace, the version,
// the platform and the device listing in one file for a developer; with
// FILE "-" on standard output.
int ReportProblem(const std::string& file, const ProgramOptions& options, const DeviceSources& files,
                  const COwnLines& say)
{
    const ProblemReportParts parts = ReportParts(ChooseDevices(options, files, say));
    Message problem;
    const bool toOutput = file == "-";
    if (!(toOutput ? PrintProblemReport(std::cout, parts, problem) : WriteProblemReport(file, parts, problem))) {
        say.Say(problem, OwnLineKind::Error);
        return 1;
    }
    if (!toOutput) {
        std::cout << Message(kReportSaved, {SafeText(file), std::string(kReportAddress)})
                         .Render(say.Catalogue())
                  << '\n';
    }
    return 0;
}

// The pinned OS image: --image-sha256, else the configuration files'
// image-sha256. False (said) when the one that counts is malformed: the
// program would not know what it may send.
bool ImagePin(const ProgramOptions& options, const DeviceSources& files, std::string& pin, const COwnLines& say)
{
    if (!options.badPin.Empty()) {
        say.Say(options.badPin, OwnLineKind::Error);
        return false;
    }
    if (options.imageSha256) {
        pin = *options.imageSha256;
        return true;
    }
    const std::optional<std::string> configured = ConfiguredImagePin(files);
    if (configured && !ParseSha256Hex(*configured, pin)) {
        say.Say(Message(N_("image-sha256 %s in the configuration file is not a SHA-256 of 64 hex "
                           "digits: nothing was done"),
                        {SafeText(*configured, 80)}),
                OwnLineKind::Error);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    EnsureStandardDescriptors();
    // Before anything else: a hang-up or Ctrl+C during start-up is a request
    // the program answers, not the end of it.
    const StopRequests* stops = InstallStopSignals(false);
    const std::vector<std::string> arguments(argv, argv + argc);
    // The user's language; English (the program's own texts) without one.
    const std::optional<UserCatalogue> language = LoadUserCatalogue([](const char* name) { return std::getenv(name); });
    const MoCatalogue* texts = language ? &language->catalogue : nullptr;
    const COwnLines say(std::cerr, texts, StandardErrorColumns);
    const ProgramOptions options = ParseProgramOptions(arguments);
    if (!options.misplaced.Empty()) {
        say.Say(options.misplaced, OwnLineKind::Error);   // in whichever mode: before anything is opened
        return kExitUsage;
    }
    const CDecisionLog decisions(options.debug || DebugWanted(std::getenv("ZENTRIX_DEBUG")),
                                      DebugLineWriter(std::getenv("JOURNAL_STREAM")));
    if (options.history.asked) {
        if (!options.refused.Empty()) {
            say.Say(options.refused, OwnLineKind::Error);
            return kExitUsage;
        }
        const char* display = DesktopDisplay();
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        const bool named = (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
        if (options.history.window && named) {
            if (const std::optional<int> shown = ShowHistoryOnDesktop(argc, argv, HistoryFilePath(),
                                                                      language ? &*language : nullptr)) {
                return *shown;
            }
        }
        LetSignalsEndTheProcess();
        const int code = ReportHistory(options.history, HistoryFilePath(), texts,
                                       TerminalSizeOf(STDOUT_FILENO).columns, std::cout, say);
        std::cout.flush();
        return code;
    }
    if (options.stationStatus) {
        LetSignalsEndTheProcess();
        return ReportStationStatus(StationStatusCandidates(std::getenv("RUNTIME_DIRECTORY"), UserRuntimeFolder()),
                                   texts, TerminalSizeOf(STDOUT_FILENO).columns, std::cout, say);
    }
    DeviceSources files = ConfigFiles();
    files.decisions = decisions.Handle();
#ifdef _WIN32
    const Message notMoved = MoveRoamingConfig(UserConfigFile(nullptr, nullptr, std::getenv("APPDATA")), files.userFile);
    if (!notMoved.Empty()) {
        say.Say(notMoved);
    }
#endif
    files.read = std::make_shared<const ConfigRead>(ReadConfigFiles(files));   // each file read once
    std::string pin;
    if (!ImagePin(options, files, pin, say)) {
        return kExitUsage;
    }
    if (options.Strict() && !options.refused.Empty()) {
        say.Say(options.refused, OwnLineKind::Error);   // before anything is opened
        return kExitUsage;
    }
    for (const Message& warning : options.warnings) {
        say.Say(warning);
    }
    if (options.reportProblem) {
        return ReportProblem(*options.reportProblem, options, files, say);
    }
    if (options.grantAccess) {
        return GrantAccess(*options.grantAccess, options.group.value_or(""), say);
    }
    switch (options.option) {
    case ProgramOption::Help:
        std::cout << UsageText(texts);
        return 0;
    case ProgramOption::Version:
        std::cout << VersionText(ZENTRIX_VERSION);
        return 0;
    case ProgramOption::ListDevices:
        return PrintDeviceList(ChooseDevices(options, files, say), std::cout, say, decisions.Handle());
    case ProgramOption::None:
    case ProgramOption::All:
    case ProgramOption::Watch:
        break;
    }

    // Before the application: it outlives every run.
    const std::unique_ptr<IWriteGuard> keepAwake = MakeKeepAwake(decisions.Handle());
    UpdaterSettings settings;
    settings.writeGuard = keepAwake.get();
    settings.tellService = &TellServiceManager;
    ProgramOptions withFolder = options;
    if (withFolder.launcher.m_strFileName.empty()) {
        // No folder given: the machine's configured one (a station's), if any.
        if (const ConfigValue* folder = files.read->machine.Find("image-folder")) {
            withFolder.launcher.m_strFileName = folder->value;
        }
    }
    DeviceChoice devices = ChooseDevices(options, files, say);
    devices.oneCalculator = options.option == ProgramOption::None;   // a set or station takes every one
    settings.offerChooser = !devices.NamesAnyDevice();
    settings.writeProblemReport = [devices](const std::string& file, Message& problem) {
        return WriteProblemReport(file, ReportParts(devices), problem);
    };
    settings.devices = std::move(devices);
    settings.decisions = decisions.Handle();
    settings.userConfigFile = files.userFile;
    settings.machineConfigFile = files.machineFile;
    settings.strict = options.Strict();
    settings.checkOnly = options.check;
    settings.retryFailed = options.retryFailed.value_or("");
    settings.imagePin = pin;
    if (options.option == ProgramOption::Watch) {
        if (const std::optional<StationStatusPlace> status =
                StationStatusPlaceFor(std::getenv("RUNTIME_DIRECTORY"), UserRuntimeFolder())) {
            settings.stationStatus = *status;
        }
    }
    const ProgramOption option = options.option;
    settings.mode = option == ProgramOption::All     ? UpdateMode::All
                    : option == ProgramOption::Watch ? UpdateMode::Watch
                                                   : UpdateMode::Single;
    if (!ReadReplyTimeout(settings.wait, options, files, say)) {
        return kExitUsage;
    }
    settings.confirm = ConfirmPolicyOf(options, files);
    const bool systemLog = !options.noSystemLog && SystemLogWanted(files);
    settings.history = {true, HistoryFilePath(), ZENTRIX_VERSION, stops, systemLog};
    settings.history.systemLogRoute =
        SystemLogToSyslogOnly(files) ? SystemLogRoute::SyslogOnly : SystemLogRoute::JournalFirst;
    if (const char* trace = std::getenv("ZENTRIX_TRACE")) {
        settings.history.tracePath = trace;
    }
    // Where the machine is: its administrator's word alone.
    for (const auto& [key, into] : {std::pair{"site", &settings.history.site},
                                    std::pair{"station-name", &settings.history.station}}) {
        if (const ConfigValue* value = files.read ? files.read->machine.Find(key) : nullptr) {
            *into = value->value;
        }
    }
    bool unknownUi = false;
    const UiMode mode = ChooseUiMode(std::getenv("ZENTRIX_UI"), DesktopDisplay(),
                                     std::getenv("WAYLAND_DISPLAY"), &unknownUi, options.Strict());
    if (unknownUi) {
        say.Say(Message(N_("ZENTRIX_UI=%s is neither gui nor console; choosing by the display"),
                        {SafeText(std::getenv("ZENTRIX_UI"))}));
    }
    if (mode == UiMode::Gui && (options.assumeYes || options.json)) {
        say.Say(Message(N_("%s works in console mode only (ZENTRIX_UI=console chooses it)"),
                        {std::string(options.assumeYes ? "--yes" : "--json")}),
                OwnLineKind::Error);
        return kExitUsage;
    }
    const std::optional<std::string> metricsFile =
        options.metricsFile ? options.metricsFile : ConfiguredSetting(files, "metrics-file");
    if (metricsFile && !metricsFile->empty()) {
        settings.history.metrics = std::make_shared<CRunMetrics>(*metricsFile);
        if (!settings.history.metrics->FirstProblem().Empty()) {
            say.Say(settings.history.metrics->FirstProblem());
        }
    }
    settings.history.hooks = MakeHooks(files, options, say);
    const std::string notify = ConfiguredSetting(files, "notify").value_or("");
    settings.notify = notify == "on" ? NoticeSetting::Always : notify == "off" ? NoticeSetting::Never : NoticeSetting::WhenAway;
    settings.showNotice = [texts, log = decisions.Handle()](const Message& summary, const Message& body) {
        std::string why;
        if (!ShowDesktopNotice(summary.Render(texts), body.Render(texts), why)) {
            log([&] { return "no notification of the set's end: " + why; });
        }
    };
    const std::shared_ptr<CRunMetrics> metrics = settings.history.metrics;
    CUpdaterApp app(nullptr, std::move(settings));
    std::optional<int> code;
    if (mode == UiMode::Gui) {
        code = RunOnDesktop(app, argc, argv, withFolder.launcher, language ? &*language : nullptr);
    }
    if (!code) {
        code = RunOnConsole(app, withFolder, files, say);
    }
    if (metrics) {
        (void)metrics->Ended();   // a file that could not be written was said before
    }
    return *code;
}
