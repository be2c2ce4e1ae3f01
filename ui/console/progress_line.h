// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the console's progress line, e.g.
//   "Updating... [#########...........] 45% 115/256"
#include <string>

struct ProgressState {
    int lower = 0;
    int upper = 0;
    int pos = 0;
};

// Whole percent of the way from lower to upper (0 for an empty range).
int ProgressPercent(const ProgressState& state);

std::string FormatProgressLine(const std::string& phaseText, const ProgressState& state);

// `line` cut to fit in `columns` terminal columns without touching the last
// one (where some terminals wrap at once), a character taking one column;
// whole when `columns` is 0 (width unknown). UTF-8 characters stay whole.
std::string FitToColumns(const std::string& line, int columns);
