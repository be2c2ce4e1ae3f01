// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window front end, when the program has one.
#include <optional>

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
