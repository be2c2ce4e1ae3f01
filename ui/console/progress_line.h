// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the console's progress line, e.g.
//   "Updating... [#########...........] 45% 115/256"
// and how lines are fitted to a terminal's width.
#include <string>

struct ProgressState {
    int lower = 0;
    int upper = 0;
    int pos = 0;
};

// Whole percent of the way from lower to upper (0 for an empty range).
int ProgressPercent(const ProgressState& state);

std::string FormatProgressLine(const std::string& phaseText, const ProgressState& state);

// A progress line with what comes before and after it on the same line:
// `lead` (a calculator's name, say) and `tail` (a note on it).
struct ProgressLineParts {
    std::string lead;
    std::string phase;
    std::string tail;
};

// lead + FormatProgressLine(phase, state) + tail, fitted to `columns`
// terminal columns as FitToColumns counts them (0: unknown, the whole
// line). When it does not fit, the bar shrinks first, then goes; then the
// phase is cut at a word, ending in "…"; the lead and the numbers are never
// cut (only a terminal too narrow for them and the tail cuts the end).
std::string FitProgressLine(const ProgressLineParts& parts, const ProgressState& state, int columns);

// `line` cut to fit in `columns` terminal columns without touching the last
// one (where some terminals wrap at once), a character taking one column:
// cut at a word, ending in "…" (CutAtWord); whole when `columns` is 0
// (width unknown). UTF-8 characters stay whole.
std::string FitToColumns(const std::string& line, int columns);
