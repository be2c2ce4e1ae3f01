// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many terminal columns a text takes, its start that fits some, and its
// lines broken to fit: a character takes one column, a UTF-8 sequence
// counting once.
#include <string>
#include <string_view>

size_t TextColumns(std::string_view text);

// The first `columns` characters of `text` (all of it when it is shorter).
std::string LeadingColumns(std::string_view text, size_t columns);

// `text` when it takes at most `columns` columns, else its start ending in
// "..." that takes `columns` (a start of "..." when `columns` < 4).
std::string ShortenedToColumns(std::string_view text, size_t columns);

// `text` when it takes at most `columns` columns, else its start up to the
// end of a word followed by "…" (one character), taking at most `columns`;
// a first word longer than that is cut inside, between two characters.
std::string CutAtWord(std::string_view text, size_t columns);

// `text` with each of its lines longer than `columns` - 1 characters (the
// last column is left free, where some terminals wrap at once) broken at
// spaces, the space at a break left out. A word longer than a line stays
// whole on a line of its own. `text` as it is when `columns` is 0 (width
// unknown).
std::string WrapAtWords(const std::string& text, int columns);
