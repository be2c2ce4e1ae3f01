// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading an answer to a message box from a line of text.
#include <string>
#include <string_view>
#include <vector>

enum class ConsoleAnswer { Ok, Cancel, Default, Unknown, Again };

// ok/o/yes/y is Ok, cancel/c/no/n is Cancel (any case, surrounding white
// space ignored), an empty line is Default, anything else Unknown. The
// words of the user's language (`okWords`: the OK button's and "yes";
// `cancelWords`: the Cancel button's and "no"; empty ones are skipped) are
// answers too. `againWords`, when the box has a third answer (the ones that
// failed, again), are Again; "again" and "a" always are then.
ConsoleAnswer ParseConsoleAnswer(std::string_view line, const std::vector<std::string>& okWords = {},
                                 const std::vector<std::string>& cancelWords = {},
                                 const std::vector<std::string>& againWords = {});
