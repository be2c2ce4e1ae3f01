// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/word_wrap.h"

#include <algorithm>

#include "shell/text_columns.h"

namespace {

// The byte where the character after the first `columns` ones starts.
size_t ByteAtColumn(const std::string& line, size_t columns)
{
    size_t used = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0u) != 0x80u && used++ == columns) {
            return i;
        }
    }
    return line.size();
}

// Where a line too long for `room` columns is broken: the last space that
// leaves a line that fits, else the first space at all (npos: none).
size_t BreakOf(const std::string& line, size_t room)
{
    const size_t space = line.find_last_of(' ', ByteAtColumn(line, room));
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
