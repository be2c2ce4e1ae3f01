// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Breaking the lines of a text between words to fit a terminal.
#include <string>

// `text` with each of its lines longer than `columns` - 1 characters (the
// last column is left free, as FitToColumns does) broken at spaces, the
// space at a break left out. A word longer than a line stays whole on a
// line of its own. `text` as it is when `columns` is 0 (width unknown).
std::string WrapAtWords(const std::string& text, int columns);
