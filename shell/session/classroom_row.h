// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A row of a set or station as the front ends draw it, how it names its
// calculator, and the counts of finished rows.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/usb_location.h"
#include "i18n/message.h"
#include "shell/records/history_record.h"
#include "shell/session/run_tally.h"
#include "update/run_update.h"

// A row's device path is shown whole (the enumeration's paths are shorter)
// and escaped: no two rows look alike.
inline constexpr size_t kRowPathChars = 260;

// One row as the front end draws it, copied out of its run.
struct ClassroomRow {
    uint32_t number = 0;      // the run's number in its set or station, from 1
    std::string device;
    Message phase;            // the phase under way, or what the run is doing
    int pos = 0;              // the bar: pos within 0 .. upper
    int upper = 0;
    int leftSeconds = -1;     // while it runs, what is left by the pace of its OS image; -1: not known yet
    bool silent = false;      // the calculator has not answered for the stall time: the row may be stopped
    uint32_t silentMs = 0;    // and for how long
    bool finished = false;
    UpdateResult result = Failed;
    Message resultWord;       // "updated", "current", "unsupported", "failed"
    Message took;             // once finished: how long its run took ("1 min 12 s"); empty: not run
    bool skipped = false;     // not touched (not in the retry list): counted as no calculator
    Message reason;           // why, unless updated
    std::vector<Message> warnings;   // what the run said that did not stop it, in order
    std::vector<std::string> phases;     // every phase the run opened, in order
    bool taken = false;       // the run has taken its calculator
    UsbLocation usb;          // and where it is, for USB as far as the system tells
    std::optional<HistoryRecord> record;   // once finished: the run's history record
    // A finished station row on a port that stays when its calculator is
    // unplugged (a serial port): the program cannot see the next calculator
    // arrive there, so the user is offered to update it.
    bool offersNext = false;
};

// How rows and summary lines name a row's calculator: its label, else a USB
// one by port and serial (never by bus and address alone, which change at
// every plugging), else its path.
Message CalculatorName(const ClassroomRow& row);

// A finished row's result with the time its run took: "updated (1 min 12 s)".
Message ResultWithTime(const ClassroomRow& row);

// A time as the rows and headings say it: "42 s", "6 min 40 s", "1 h 5 min".
Message DurationText(std::chrono::seconds time);

// While a set runs: "about 3 min left", by the slowest row's pace; empty
// while a row that runs cannot tell yet.
Message TimeLeftText(const std::vector<ClassroomRow>& rows);

// What a silent row says after its phase: "not answering for 12 s".
Message SilentText(const ClassroomRow& row);

// A calculator reached by USB, named by where it is plugged rather than by
// its path.
bool IsUsbPath(const std::string& path);

// The counts of the finished rows, and of `notConnected` configured ports
// that had nothing connected.
RunTally CountsOf(const std::vector<ClassroomRow>& rows, size_t notConnected = 0);
// The counts as a line: "N calculators: A updated, B already current, C not
// supported, D failed.", then, when some configured ports had nothing
// connected, " E configured ports had nothing connected." With the time
// the set took (`tookSeconds`): "N calculators in 6 min 40 s: A updated, ...".
Message CountsText(const RunTally& counts);
inline Message CountsText(const std::vector<ClassroomRow>& rows, size_t notConnected = 0)
{
    return CountsText(CountsOf(rows, notConnected));
}
