// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the window front end can reach a display at all. Qt ends the
// process when it cannot connect, so the attempt is made in a child process.
bool DisplayReachable(int argc, char** argv);
