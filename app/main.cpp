// zentrix-update [DIR] [OWNER]: replaces a Zentrix calculator's operating
// system with the images in DIR. A window on a desktop, the console
// elsewhere (ZENTRIX_UI=gui or =console decides when set).
#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "app/console_main_window.h"
#include "app/ui_mode.h"
#include "app/updater_app.h"
#include "app/updater_dlg.h"
#include "device/device_listing.h"
#include "device/usb_channel.h"
#include "ui/console/console_front_end.h"
#include "ui/qt/qt_front_end.h"

namespace {

CUpdaterApp theApp;

int RunOnDesktop(int argc, char** argv, const std::vector<std::string>& arguments)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zentrix-update"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTRIX_VERSION));
    CQtFrontEnd frontEnd;
    theApp.SetFrontEnd(&frontEnd);
    SetProcessPump(&PumpQtEvents);
    theApp.m_createMainWindow = [&frontEnd](int owner) {
        auto window = std::make_unique<CUpdaterDlg>(owner);
        frontEnd.SetMainWindow(window.get());
        return std::unique_ptr<IMainWindow>(std::move(window));
    };
    theApp.InitInstance(arguments);
    SetProcessPump(nullptr);
    theApp.SetFrontEnd(nullptr);
    return frontEnd.QuitCode();
}

int RunOnConsole(const std::vector<std::string>& arguments)
{
    CConsoleFrontEnd frontEnd(std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
    theApp.SetFrontEnd(&frontEnd);
    SetProcessPump(nullptr);
    // The owner number is read and has no use here.
    theApp.m_createMainWindow = [](int /*owner*/) {
        return std::unique_ptr<IMainWindow>(std::make_unique<CConsoleMainWindow>());
    };
    theApp.InitInstance(arguments);
    theApp.SetFrontEnd(nullptr);
    std::cout.flush();
    return frontEnd.QuitCode();
}

}  // namespace

int main(int argc, char** argv)
{
    if (std::find(argv + 1, argv + argc, std::string_view("--list-devices")) != argv + argc) {
        return PrintDeviceList(std::cout);
    }
    const std::vector<std::string> arguments(argv, argv + argc);
    const UiMode mode = ChooseUiMode(std::getenv("ZENTRIX_UI"), std::getenv("DISPLAY"),
                                     std::getenv("WAYLAND_DISPLAY"));
    if (mode == UiMode::Gui) {
        return RunOnDesktop(argc, argv, arguments);
    }
    return RunOnConsole(arguments);
}
