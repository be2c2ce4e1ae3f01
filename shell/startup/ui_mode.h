// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which front end the program shows.

enum class UiMode { Gui, Console };

// ZENTRIX_UI=console or =gui decides; otherwise the console for a run
// nobody watches (`unattended`: --yes or --json, from a desktop's terminal
// as from cron), else the GUI when a display is available (DISPLAY or
// WAYLAND_DISPLAY set and not empty), else the console.
// Each variable argument is its value, or null when it is unset. Any other
// value of ZENTRIX_UI than gui, console or empty sets `unknownUi` (when
// given) and the choice is made as if it were unset.
UiMode ChooseUiMode(const char* zentrixUi, const char* display, const char* waylandDisplay,
                    bool* unknownUi = nullptr, bool unattended = false);

// On Windows, what the program's console tells of how it was started.
struct ConsoleState {
    unsigned processesOnConsole = 0;   // this one included; 0: no console
    bool consoleHasWindow = false;
    bool standardInput = false;        // standard input is a file, pipe or character device
};

// Whether the program was started where its user answers on the console:
// from a command prompt (the console is shared with it), on a console
// without a window (a remote shell, a script's hidden console), or without a
// console but with standard input given (a terminal outside Windows'
// consoles, a pipe). Started from Explorer, the Start menu or a launcher —
// a console made for this program alone, with its window, or nothing at all
// — it is not: the window is shown then.
bool StartedOnConsole(const ConsoleState& state);
