// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window front end, when the program has one.
#include <optional>
#include <string>

class CUpdaterApp;
class CUpdaterCommandLineInfo;
struct UserCatalogue;

// The display the window front end would use, for choosing between the
// window and the console: DISPLAY on Linux, always one on Windows.
const char* DesktopDisplay();

// Runs `app` with the window front end, started with `commandLine`, and
// returns the process's exit code; nothing (and nothing shown) when this
// program has no window front end or no display can be reached — the
// console is used then. `texts` (null:
// English) is the catalogue the window shows its texts in.
std::optional<int> RunOnDesktop(CUpdaterApp& app, int argc, char** argv,
                                const CUpdaterCommandLineInfo& commandLine, const UserCatalogue* texts);

// Shows the history file `path` in the window front end's history window
// until it is closed; returns 0, or nothing when there is no window front
// end or no display can be reached.
std::optional<int> ShowHistoryOnDesktop(int argc, char** argv, const std::string& path, const UserCatalogue* texts);
