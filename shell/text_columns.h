// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many terminal columns a text takes, and its start that fits some: a
// character takes one column, a UTF-8 sequence counting once.
#include <string>
#include <string_view>

size_t TextColumns(std::string_view text);

// The first `columns` characters of `text` (all of it when it is shorter).
std::string LeadingColumns(std::string_view text, size_t columns);

// `text` when it takes at most `columns` columns, else its start ending in
// "..." that takes `columns` (a start of "..." when `columns` < 4).
std::string ShortenedToColumns(std::string_view text, size_t columns);
