// SPDX-License-Identifier: GPL-3.0-or-later
// How a finished run is judged and reported by zentrix-calc-sim.
#pragma once

#include <string>

#include "sim/calculator.h"

namespace zsim {

struct Expectation {
    std::string stubFile;   // empty: not compared
    std::string osFile;
};

struct RunVerdict {
    bool clean = true;      // ended normally (Terminate), no protocol violation, no image that differs from its file
    std::string line;       // e.g. "run 1: images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000"
    std::string report;     // key=value pairs on one line
};

// `text` fit to be printed: every control byte (C0, DEL) and every byte
// beyond ASCII as \xNN, so that nothing from a trace or a calculator can
// steer the terminal, forge a line or reverse the text around it.
std::string Printable(const std::string& text);

// `text` as a report value: in double quotes, with \" and \\ escaped and
// the rest as Printable.
std::string Quoted(const std::string& text);

RunVerdict JudgeRun(int number, const RunRecord& run, const Expectation& expect);
// The read-back that followed run `number` (see ReadBack): what the
// calculator reported after its restart.
RunVerdict JudgeReadBack(int number, const RunRecord& run);

}  // namespace zsim
