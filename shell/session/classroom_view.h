// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows' view each front end implements, and what the user asks of it.
#include <cstdint>
#include <string>
#include <vector>

#include "i18n/message.h"
#include "shell/session/classroom_row.h"
#include "shell/session/run_tally.h"

// What the user asked of the front end while the rows were shown.
// Stop: Ctrl+C; Close: the window's Close or Escape, which in the station
// also asks before ending it when nothing runs.
// Next: update the next calculator on the ports whose rows offer it (see
// IClassroomView::NextDevice).
// StopRow: end the run of one row whose calculator is not answering, as
// Ctrl+C ends a single update (see IClassroomView::StopNumber).
enum class ClassroomRequest { None, Stop, Close, Terminate, Next, StopRow };

// What a window's view answers Serve with (after Terminate, which goes
// first), from what the user did meanwhile: closed the window, pressed
// Ctrl+C, asked to stop a row or for the next calculator. A row's stop or
// the next is taken (its flag cleared) only when the window was neither
// closed nor interrupted; the stop of a row goes before the next.
ClassroomRequest TakeRequest(bool closed, bool interrupted, bool& stopRowAsked, bool& nextAsked);

// How a front end's texts name its own controls (patterns marked with N_):
// the console speaks of its keys, a window of its buttons.
struct ControlWords {
    const char* endStation;   // inside the station's heading: "Close ends the station"
    const char* endConnect;   // ends the station's connect box: "Close the window to end."
    const char* offerNext;    // under the heading while a row offers the next calculator
};
ControlWords WindowControlWords();
ControlWords ConsoleControlWords();
ControlWords ServiceControlWords();

// The rows' view, implemented by each front end. Every call comes from the
// thread that runs the update loop (the GUI thread in the window).
class IClassroomView {
public:
    virtual ~IClassroomView() = default;
    // Shows the rows (all of them, in order), `heading` above them.
    virtual void ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading) = 0;
    // Serves the front end for about `ms`: what the user asked meanwhile.
    virtual ClassroomRequest Serve(uint32_t ms) = 0;
    // The set's summary, one line per calculator: "RESULT DEVICE REASON",
    // then, when the text is to say them, the counts (CountsText); `counts`
    // are those of every calculator of the set or station, always.
    virtual void ShowSummary(const std::vector<Message>& lines, const RunTally& counts) = 0;
    // Takes the rows off the screen.
    virtual void CloseRows() = 0;
    // With Next: the one row's device the user chose; empty for every row
    // that offers it.
    virtual std::string NextDevice() const { return {}; }
    // With StopRow: the number of the row (ClassroomRow::number) to stop.
    virtual uint32_t StopNumber() const { return 0; }
    // Asks `question` (OK or Cancel) inside the rows' window, below the
    // rows; IDOK or IDCANCEL, or 0 for a view that cannot ask (a box asks).
    // With `retry`, a third button says it and answers IDRETRY.
    virtual int Ask(const char* /*question*/, const Message& /*retry*/ = {}) { return 0; }
    // After a set that was stopped, or a station: the end (the heading with
    // the counts, every row with its result) stays in sight until the user
    // closes it. A view whose end lines stay on the screen returns at once.
    virtual void AwaitClose() {}
    // The words the station's texts use for this front end's controls.
    virtual ControlWords Words() const { return WindowControlWords(); }
};
