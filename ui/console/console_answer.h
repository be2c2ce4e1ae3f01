// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading an answer to a message box from a line of text.
#include <string_view>

enum class ConsoleAnswer { Ok, Cancel, Default, Unknown };

// ok/o/yes/y is Ok, cancel/c/no/n is Cancel (any case, surrounding white
// space ignored), an empty line is Default, anything else Unknown. The
// buttons' words as shown in the user's language (`okWord`, `cancelWord`;
// may be empty) are answers too.
ConsoleAnswer ParseConsoleAnswer(std::string_view line, std::string_view okWord = {},
                                 std::string_view cancelWord = {});
