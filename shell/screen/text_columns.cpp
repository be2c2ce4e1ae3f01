// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/text_columns.h"

#include <algorithm>

namespace {

constexpr std::string_view kShortened = "...";
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";   // U+2026, one column

bool StartsCharacter(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
}


// Where a line too long for `room` columns is broken: the last space that
// leaves a line that fits, else the first space at all (npos: none).
size_t BreakOf(const std::string& line, size_t room)
{
    const size_t space = line.find_last_of(' ', LeadingColumns(line, room).size());
    if (space != std::string::npos && line.find_first_not_of(' ') < space) {
        return space;
    }
    const size_t word = line.find_first_not_of(' ');
    return word == std::string::npos ? std::string::npos : line.find(' ', word);
}

std::string WrapLine(std::string line, size_t room)
{
    std::string wrapped;
    while (TextColumns(line) > room) {
        const size_t at = BreakOf(line, room);
        if (at == std::string::npos) {
            break;
        }
        std::string head = line.substr(0, at);
        head.erase(head.find_last_not_of(' ') + 1);
        wrapped += head + '\n';
        const size_t next = line.find_first_not_of(' ', at);
        line = next == std::string::npos ? std::string() : line.substr(next);
    }
    return wrapped + line;
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

std::string CutAtWord(std::string_view text, size_t columns)
{
    if (TextColumns(text) <= columns) {
        return std::string(text);
    }
    if (columns == 0) {
        return {};
    }
    std::string kept = LeadingColumns(text, columns - 1);
    if (text[kept.size()] != ' ') {
        // A word goes on after the cut: it is left out whole.
        const size_t space = kept.find_last_of(' ');
        if (space != std::string::npos && kept.find_first_not_of(' ') < space) {
            kept.erase(space);
        }
    }
    kept.erase(kept.find_last_not_of(' ') + 1);
    return kept + std::string(kEllipsis);
}

std::string WrapAtWords(const std::string& text, int columns)
{
    if (columns <= 0) {
        return text;
    }
    const auto room = static_cast<size_t>(columns > 1 ? columns - 1 : 1);
    std::string wrapped;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        wrapped += WrapLine(text.substr(start, end - start), room);
        if (end < text.size()) {
            wrapped += '\n';
        }
        start = end + 1;
    }
    return wrapped;
}
