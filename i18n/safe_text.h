// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text from outside the program (the calculator's replies, image headers,
// device paths, the environment) made fit to be shown: on a terminal, in a
// box, in a list line or in the trace. Nothing of it can move the cursor,
// reset the terminal or start a new line.
#include <cstddef>
#include <string>
#include <string_view>

// How many characters of one outside value are shown at most.
inline constexpr size_t kSafeTextChars = 200;

// Whether `code` is a character that steers how text is shown rather than
// being seen: a C0 or C1 control (U+0000 to U+001F, U+007F to U+009F), a
// line or paragraph separator (U+2028, U+2029: a line break to some
// readers, the end of a string to JavaScript), a character of no width
// (U+200B to U+200D, U+2060, U+FEFF: two values that look alike but
// differ), or a mark that sets or overrides the direction of the text
// around it (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069),
// which can make a value read backwards or hide where it ends.
bool IsControlCharacter(char32_t code);

// The character of the valid UTF-8 sequence at the start of `text` (the
// shortest form, no surrogates, at most U+10FFFF) into `code`; returns its
// length in bytes, 0 when `text` starts with no such sequence.
size_t DecodeUtf8(std::string_view text, char32_t& code);
// `code` (at most U+10FFFF) as UTF-8 into `out`, which has room for four
// bytes; returns the bytes written.
size_t EncodeUtf8(char32_t code, char* out);
void AppendUtf8(std::string& out, char32_t code);

// `text` with every control character escaped (ESC as \x1b, a line feed as
// \n, a carriage return as \r, a tab as \t, the rest as \xNN; the C1
// controls U+0080 to U+009F too, as their two bytes; the direction marks as
// \uNNNN), every byte that is not part of valid UTF-8 as \xNN. A backslash stays as it is (Windows paths are full of them), so
// a value that holds the text "\x1b" shows as an escaped ESC would: what
// matters is that no control reaches the terminal. Longer than `maxChars` shown characters (an escape counts as one),
// it is cut there and "..." follows.
std::string SafeText(std::string_view text, size_t maxChars = kSafeTextChars);

// A message of the program's own that may hold outside values: its control
// characters and stray bytes are escaped as SafeText does (escaping twice
// changes nothing) and nothing is cut. The result is one line.
std::string SafeLine(std::string_view text);
