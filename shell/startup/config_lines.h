// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lines of a configuration file: `key = value` settings, blank lines and
// `#` comments. The one place a line is split into its key and its value;
// it needs nothing but the standard library, so that the privileged helper
// reads the machine's file exactly as the program does.
#include <cstddef>
#include <string_view>
#include <vector>

// A line longer than this is not read.
inline constexpr size_t kMaxConfigLineChars = 1024;

struct ConfigLine {
    enum class Kind { Blank, Comment, Setting, NotSetting, TooLong };
    Kind kind = Kind::Blank;
    int number = 0;          // from 1
    std::string_view text;   // the whole line, without its line feed
    std::string_view key;    // of a Setting, trimmed
    std::string_view value;  // of a Setting, trimmed (may be empty)
};

// `text` without spaces, tabs and carriage returns at either end.
std::string_view TrimmedConfigText(std::string_view text);

// Splits `text` at its first `=` into what is before and after it, both
// trimmed; false when it has none.
bool SplitAtEquals(std::string_view text, std::string_view& before, std::string_view& after);

// The lines of a file's text, viewing into `text` (which must outlive them).
std::vector<ConfigLine> ConfigLines(std::string_view text);
