// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What became of every calculator offered during a session, and the exit
// code a script reads from it (--yes, --json).
#include "update/run_update.h"

// Exit codes for scripts; without --yes or --json the program keeps 18.
inline constexpr int kExitAllGood = 0;      // every calculator updated or already current (--check: read)
inline constexpr int kExitSomeFailed = 1;   // at least one failed or is unsupported (--check: not read)
inline constexpr int kExitUsage = 2;        // the command line cannot be followed
inline constexpr int kExitNoneFound = 3;    // no calculator was found
inline constexpr int kExitImages = 4;       // the images cannot be used: nothing was sent

struct RunTally {
    int updated = 0;
    int current = 0;
    int failed = 0;
    int unsupported = 0;
    int checked = 0;        // --check: the version was read
    int needUpdate = 0;     // --check with images: of those read, the ones older than the image
    int notConnected = 0;   // configured ports of a set with nothing connected: no calculator, no run
    bool imagesUnusable = false;   // the images were refused before any calculator was opened
    long long tookSeconds = -1;    // a set's counts at its end: the time it took; -1: not said

    void Count(UpdateResult result)
    {
        switch (result) {
        case Success:
            ++updated;
            break;
        case AlreadyCurrent:
            ++current;
            break;
        case UnsupportedModel:
            ++unsupported;
            break;
        case Failed:
            ++failed;
            break;
        case Checked:
            ++checked;
            break;
        }
    }

    int ExitCode() const
    {
        if (imagesUnusable) {
            return kExitImages;
        }
        if (failed + unsupported > 0) {
            return kExitSomeFailed;
        }
        return updated + current + checked > 0 ? kExitAllGood : kExitNoneFound;
    }
};
