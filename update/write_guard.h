// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What keeps the computer awake while calculators are written: from the
// moment a run starts writing its calculator (the updater stub or the OS
// image) until that run ends, the calculator has no working system, and a
// computer that sleeps or shuts down then leaves it so.
#include <string>

class IWriteGuard {
public:
    virtual ~IWriteGuard() = default;
    // On the run's thread, once per run, when it starts writing. What it
    // returns, unless empty, is a note for the run's trace (why the
    // computer could not be kept awake).
    virtual std::string BeginWriting() = 0;
    // On the same thread, when that run ends.
    virtual void EndWriting() = 0;
};
