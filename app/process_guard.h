// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the process sets up before anything else: standard descriptors that
// are really there, and signals that never cut an update off half-way.
#include "shell/startup/stop_requests.h"

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no device or file opened later takes their place (and gets the progress
// text written onto it).
void EnsureStandardDescriptors();

// SIGINT, SIGTERM and SIGQUIT become requests to the front end (a blocking
// read of an answer returns at once; SIGQUIT is taken as SIGTERM); SIGWINCH
// tells the console rows to fit the terminal's new width; SIGHUP,
// SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM and SIGXFSZ are ignored: output to a
// vanished terminal or pipe is dropped, a file over the size limit fails its
// write, and the update goes on to its end.
// With `interruptTerminates` (the window, which has no prompt on the
// terminal to answer) SIGINT is taken as SIGTERM. Returns where the
// requests land.
StopRequests* InstallStopSignals(bool interruptTerminates);

// For a program that only reads and shows (--history): Ctrl+C, SIGTERM,
// SIGQUIT and a hang-up end the process as they do any other's, and a
// closed pipe ends it at the next write. Nothing it does needs finishing.
void LetSignalsEndTheProcess();
