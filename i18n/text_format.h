// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text patterns with gettext's directives: %s and %d stand for the next
// argument, %N$s and %N$d for argument N (from 1), %% for a percent sign.
// Arguments are text already (numbers are written by the caller), so a
// pattern and its translations are filled in the same way; a directive
// without its argument is left out.
#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text for the catalogue; the text itself is unchanged.
#define N_(text) text

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// The English text of a count: `singular` when n is 1, else `plural`. The
// catalogue holds both under one entry and picks the language's own form.
constexpr const char* PluralText(long n, const char* singular, const char* plural)
{
    return n == 1 ? singular : plural;
}

// One directive of a pattern, as FormatText and the matching read it.
struct TextDirective {
    size_t length = 0;     // characters of the directive itself; 0: not one
    int argument = 0;      // 1-based; 0 for %%
    bool digits = false;   // %d: stands for a number
};
// The directive at `pattern[at]` (which is '%'); `next` is the argument the
// next plain directive stands for, advanced past it.
TextDirective ReadDirective(std::string_view pattern, size_t at, int& next);
