// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way the program writes a text as a JSON string, wherever JSON is
// written (the history, the --json events, the district view, a stored
// message): quotes and backslashes escaped, every control character (see
// IsControlCharacter: C0, C1, separators, invisible and direction marks) as
// \uNNNN, every byte that is not part of valid UTF-8 as U+FFFD. What a
// calculator or a file sends can never end the string or the line early,
// nor reach a reader as something it did not say.
#include <string>
#include <string_view>

void AppendJsonString(std::string& out, std::string_view text);
std::string JsonString(std::string_view text);
