// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/text_columns.h"

#include <algorithm>

namespace {

constexpr std::string_view kShortened = "...";

bool StartsCharacter(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
}

}  // namespace

size_t TextColumns(std::string_view text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

std::string LeadingColumns(std::string_view text, size_t columns)
{
    size_t used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (StartsCharacter(text[i]) && used++ == columns) {
            return std::string(text.substr(0, i));
        }
    }
    return std::string(text);
}

std::string ShortenedToColumns(std::string_view text, size_t columns)
{
    if (TextColumns(text) <= columns) {
        return std::string(text);
    }
    if (columns < kShortened.size() + 1) {
        return std::string(kShortened.substr(0, columns));
    }
    std::string kept = LeadingColumns(text, columns - kShortened.size());
    kept.erase(kept.find_last_not_of(' ') + 1);
    return kept + std::string(kShortened);
}
