// The window front end on Windows.
#include "app/desktop.h"
#include "app/process_guard.h"
#include "shell/updater_app.h"
#include "ui/win32/win32_front_end.h"

// After the shell's headers, whose constants windows.h defines as macros.
#include <windows.h>
#include <commctrl.h>

const char* DesktopDisplay()
{
    return "windows";   // Windows always has its desktop
}

std::optional<int> RunOnDesktop(CUpdaterApp& app, int /*argc*/, char** /*argv*/,
                                const std::vector<std::string>& arguments)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    InstallStopSignals(true);
    CWin32FrontEnd frontEnd;
    app.SetFrontEnd(&frontEnd);
    app.m_createMainWindow = [&frontEnd](int owner, StartLoop start) {
        return frontEnd.NewMainWindow(owner, std::move(start));
    };
    app.InitInstance(arguments);
    app.SetFrontEnd(nullptr);
    return frontEnd.QuitCode();
}
