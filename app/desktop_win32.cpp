// SPDX-License-Identifier: GPL-3.0-or-later
// The window front end on Windows.
#include "app/desktop.h"
#include "app/process_guard.h"
#include "app/translations.h"
#include "shell/session/updater_app.h"
#include "shell/startup/ui_mode.h"
#include "ui/win32/win32_front_end.h"
#include "ui/win32/win32_history_window.h"

// After the shell's headers, whose constants windows.h defines as macros.
#include <windows.h>
#include <commctrl.h>

namespace {

ConsoleState ReadConsoleState()
{
    ConsoleState state;
    DWORD processes[4];
    state.processesOnConsole = GetConsoleProcessList(processes, 4);
    state.consoleHasWindow = GetConsoleWindow() != nullptr;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    state.standardInput = input != nullptr && input != INVALID_HANDLE_VALUE &&
                          GetFileType(input) != FILE_TYPE_UNKNOWN;
    return state;
}

}  // namespace

// Windows always has its desktop; the window is used unless the program was
// started on a console, where its user answers in the console.
const char* DesktopDisplay()
{
    return StartedOnConsole(ReadConsoleState()) ? nullptr : "windows";
}

std::optional<int> RunOnDesktop(CUpdaterApp& app, int /*argc*/, char** /*argv*/,
                                const CUpdaterCommandLineInfo& commandLine, const UserCatalogue* texts)
{
    // The console Windows made for this program alone (started from Explorer
    // or a shortcut) goes away; a console shared with a command prompt stays.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CWin32FrontEnd frontEnd(InstallStopSignals(true));
    frontEnd.SetCatalogue(texts != nullptr ? &texts->catalogue : nullptr);
    app.SetFrontEnd(&frontEnd);
    app.SetMainWindowFactory([&frontEnd](int owner, StartLoop start) {
        return frontEnd.NewMainWindow(owner, std::move(start));
    });
    app.InitInstance(commandLine);
    app.SetFrontEnd(nullptr);
    return frontEnd.QuitCode();
}

std::optional<int> ShowHistoryOnDesktop(int /*argc*/, char** /*argv*/, const std::string& path,
                                        const UserCatalogue* texts)
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
    HWND window = ShowHistoryWindow(nullptr, path, texts != nullptr ? &texts->catalogue : nullptr);
    if (window == nullptr) {
        return std::nullopt;
    }
    // Until the window is closed.
    MSG message;
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
