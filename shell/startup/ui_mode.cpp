// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/ui_mode.h"

#include <string_view>

namespace {

bool IsSet(const char* value)
{
    return value != nullptr && *value != '\0';
}

}  // namespace

UiMode ChooseUiMode(const char* zentrixUi, const char* display, const char* waylandDisplay,
                    bool* unknownUi, bool unattended)
{
    const std::string_view forced = zentrixUi != nullptr ? zentrixUi : "";
    if (forced == "console") {
        return UiMode::Console;
    }
    if (forced == "gui") {
        return UiMode::Gui;
    }
    if (unknownUi != nullptr) {
        *unknownUi = !forced.empty();
    }
    if (unattended) {
        return UiMode::Console;
    }
    return IsSet(display) || IsSet(waylandDisplay) ? UiMode::Gui : UiMode::Console;
}

bool StartedOnConsole(const ConsoleState& state)
{
    if (state.processesOnConsole == 0) {
        return state.standardInput;
    }
    return state.processesOnConsole > 1 || !state.consoleHasWindow;
}
