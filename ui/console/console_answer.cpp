// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/console_answer.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

std::string Lowered(std::string_view text)
{
    std::string word(text);
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word;
}

bool AnyOf(const std::string& word, const std::vector<std::string>& words)
{
    return std::any_of(words.begin(), words.end(),
                       [&word](const std::string& w) { return !w.empty() && word == Lowered(w); });
}

}  // namespace

ConsoleAnswer ParseConsoleAnswer(std::string_view line, const std::vector<std::string>& okWords,
                                 const std::vector<std::string>& cancelWords,
                                 const std::vector<std::string>& againWords)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!line.empty() && isSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && isSpace(line.back())) {
        line.remove_suffix(1);
    }
    const std::string word = Lowered(line);
    if (word.empty()) {
        return ConsoleAnswer::Default;
    }
    if (word == "ok" || word == "o" || word == "yes" || word == "y" || AnyOf(word, okWords)) {
        return ConsoleAnswer::Ok;
    }
    if (word == "cancel" || word == "c" || word == "no" || word == "n" ||
        AnyOf(word, cancelWords)) {
        return ConsoleAnswer::Cancel;
    }
    if (!againWords.empty() && (word == "again" || word == "a" || AnyOf(word, againWords))) {
        return ConsoleAnswer::Again;
    }
    return ConsoleAnswer::Unknown;
}
