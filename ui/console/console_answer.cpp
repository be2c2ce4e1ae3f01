// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/console_answer.h"

#include <algorithm>
#include <cctype>
#include <string>

ConsoleAnswer ParseConsoleAnswer(std::string_view line)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!line.empty() && isSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && isSpace(line.back())) {
        line.remove_suffix(1);
    }
    std::string word(line);
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (word.empty()) {
        return ConsoleAnswer::Default;
    }
    if (word == "ok" || word == "o" || word == "yes" || word == "y") {
        return ConsoleAnswer::Ok;
    }
    if (word == "cancel" || word == "c" || word == "no" || word == "n") {
        return ConsoleAnswer::Cancel;
    }
    return ConsoleAnswer::Unknown;
}
