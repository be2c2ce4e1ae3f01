// zentrix-update [DIR] [OWNER]: replaces a Zentrix calculator's operating
// system with the images in DIR. A window on a desktop, the console
// elsewhere (ZENTRIX_UI=gui or =console decides when set).
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "shell/console_main_window.h"
#include "shell/ui_mode.h"
#include "shell/updater_app.h"
#include "ui/console/console_front_end.h"

namespace {

int RunOnConsole(CUpdaterApp& app, const std::vector<std::string>& arguments)
{
    CConsoleFrontEnd frontEnd(std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
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

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    CUpdaterApp app;
    const UiMode mode = ChooseUiMode(std::getenv("ZENTRIX_UI"), std::getenv("DISPLAY"),
                                     std::getenv("WAYLAND_DISPLAY"));
    if (mode == UiMode::Gui) {
        if (const std::optional<int> code = RunOnDesktop(app, argc, argv, arguments)) {
            return *code;
        }
    }
    return RunOnConsole(app, arguments);
}
