// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-update [DIR [OWNER]]: replaces a Zentrix calculator's operating
// system with the images in DIR. A window on a desktop, the console
// elsewhere (ZENTRIX_UI=gui or =console decides when set).
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/process_guard.h"
#include "device/device_listing.h"
#include "device/safe_text.h"
#include "shell/command_line.h"
#include "shell/history_report.h"
#include "shell/console_main_window.h"
#include "shell/reply_timeout.h"
#include "shell/ui_mode.h"
#include "shell/updater_app.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_input.h"

namespace {

int RunOnConsole(CUpdaterApp& app, const std::vector<std::string>& arguments)
{
    StopRequests* stops = InstallStopSignals(false);
    CFdInput input(STDIN_FILENO, stops);
    CConsoleFrontEnd frontEnd(input, std::cout, std::cerr, isatty(STDERR_FILENO) != 0, stops);
    app.SetFrontEnd(&frontEnd);
    // The owner number is read and has no use here.
    app.m_createMainWindow = [](int /*owner*/, StartLoop start) {
        return std::unique_ptr<IMainWindow>(std::make_unique<CConsoleMainWindow>(std::move(start)));
    };
    app.InitInstance(arguments);
    app.SetFrontEnd(nullptr);
    std::cout.flush();
    return frontEnd.QuitCode();
}

// Reads ZENTRIX_REPLY_TIMEOUT into the run's wait policy; a value that is
// not a number of seconds is reported and ignored.
void ReadReplyTimeout(CUpdaterApp& app)
{
    const ReplyTimeoutSetting setting = ParseReplyTimeout(std::getenv("ZENTRIX_REPLY_TIMEOUT"));
    if (!setting.warning.empty()) {
        std::cerr << "zentrix-update: " << setting.warning << '\n';
    }
    app.m_wait.silenceLimitMs = setting.silenceLimitMs;
}

}  // namespace

int main(int argc, char** argv)
{
    EnsureStandardDescriptors();
    const std::vector<std::string> arguments(argv, argv + argc);
    if (AsksForHistory(arguments)) {
        const HistoryReport report = ReportHistory(arguments, HistoryFilePath());
        std::cout << report.out << std::flush;
        std::cerr << report.err;
        return report.exitCode;
    }
    switch (FindProgramOption(arguments)) {
    case ProgramOption::Help:
        std::cout << UsageText();
        return 0;
    case ProgramOption::Version:
        std::cout << VersionText(ZENTRIX_VERSION);
        return 0;
    case ProgramOption::ListDevices:
        return PrintDeviceList(std::cout);
    case ProgramOption::None:
    case ProgramOption::All:
    case ProgramOption::Watch:
        break;
    }

    CUpdaterApp app;
    const ProgramOption option = FindProgramOption(arguments);
    app.m_mode = option == ProgramOption::All     ? UpdateMode::All
                 : option == ProgramOption::Watch ? UpdateMode::Watch
                                                : UpdateMode::Single;
    ReadReplyTimeout(app);
    app.m_history = {true, HistoryFilePath(), ZENTRIX_VERSION};
    bool unknownUi = false;
    const UiMode mode = ChooseUiMode(std::getenv("ZENTRIX_UI"), DesktopDisplay(),
                                     std::getenv("WAYLAND_DISPLAY"), &unknownUi);
    if (unknownUi) {
        std::cerr << "zentrix-update: ZENTRIX_UI=" << SafeText(std::getenv("ZENTRIX_UI"))
                  << " is neither gui nor console; choosing by the display\n";
    }
    if (mode == UiMode::Gui) {
        if (const std::optional<int> code = RunOnDesktop(app, argc, argv, arguments)) {
            return *code;
        }
    }
    return RunOnConsole(app, arguments);
}
