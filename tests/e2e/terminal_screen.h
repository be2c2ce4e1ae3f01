// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a terminal shows of the bytes it was sent, followed as a terminal
// would: a character takes one column (a UTF-8 sequence one), a line too
// long goes on at the start of the next, a line feed on the last line
// scrolls the top line into the scrollback; CR, ESC[K (clear to the line's
// end), ESC[nA (up n lines) and ESC[J (clear below) are understood.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

struct TerminalPass {
    size_t longest = 0;   // characters sent from a line's start to its end
    size_t wrapped = 0;   // lines that went on at the start of the next
    size_t moves = 0;     // back up to redraw
    // The line (counted from the first, scrolled ones included) that each
    // drawing of the heading given started on.
    std::vector<long> headingRows;
    // The scrollback, then the screen, as the user reads them at the end.
    std::vector<std::string> transcript;
};

inline TerminalPass FollowTerminal(const std::string& sent, size_t columns, size_t lines,
                                   const std::string& heading = {})
{
    TerminalPass pass;
    std::vector<std::string> screen(1);
    long scrolled = 0;
    size_t row = 0;
    size_t column = 0;
    size_t length = 0;   // of the line being sent since its start
    const auto down = [&] {
        if (++row == screen.size()) {
            screen.emplace_back();
        }
        if (screen.size() > lines) {
            pass.transcript.push_back(screen.front());
            screen.erase(screen.begin());
            --row;
            ++scrolled;
        }
        column = 0;
    };
    // The bytes of the first `n` characters of a screen line.
    const auto bytesOf = [](const std::string& text, size_t n) {
        size_t i = 0;
        for (size_t seen = 0; i < text.size(); ++i) {
            if ((static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80u && seen++ == n) {
                break;
            }
        }
        return i;
    };
    for (size_t i = 0; i < sent.size(); ++i) {
        const char c = sent[i];
        if (c == '\x1b' && i + 1 < sent.size() && sent[i + 1] == '[') {
            size_t end = i + 2;
            while (end < sent.size() && std::isdigit(static_cast<unsigned char>(sent[end])) != 0) {
                ++end;
            }
            const char command = end < sent.size() ? sent[end] : '\0';
            if (command == 'A') {
                const auto up = static_cast<size_t>(std::stol("0" + sent.substr(i + 2, end - i - 2)));
                row -= std::min(row, up);
                ++pass.moves;
            } else if (command == 'K') {
                screen[row].resize(bytesOf(screen[row], column));
            } else if (command == 'J') {
                screen[row].resize(bytesOf(screen[row], column));
                screen.resize(row + 1);
            }
            i = end;
        } else if (c == '\r') {
            column = 0;
            length = 0;
        } else if (c == '\n') {
            down();
            length = 0;
        } else if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u) {
            if (column == 0 && length == 0 && !heading.empty() && sent.compare(i, heading.size(), heading) == 0) {
                pass.headingRows.push_back(scrolled + static_cast<long>(row));
            }
            if (column == columns) {   // the character goes on the next line
                ++pass.wrapped;
                down();
            }
            std::string& line = screen[row];
            while (std::count_if(line.begin(), line.end(), [](char b) {
                       return (static_cast<unsigned char>(b) & 0xC0u) != 0x80u;
                   }) < static_cast<long>(column)) {
                line += ' ';
            }
            const size_t at = bytesOf(line, column);
            size_t next = at;
            while (next < line.size() && (next == at || (static_cast<unsigned char>(line[next]) & 0xC0u) == 0x80u)) {
                ++next;
            }
            size_t bytes = 1;
            while (i + bytes < sent.size() && (static_cast<unsigned char>(sent[i + bytes]) & 0xC0u) == 0x80u) {
                ++bytes;
            }
            line.replace(at, next - at, sent.substr(i, bytes));
            i += bytes - 1;
            ++column;
            pass.longest = std::max(pass.longest, ++length);
        }
    }
    pass.transcript.insert(pass.transcript.end(), screen.begin(), screen.end());
    return pass;
}

// How many lines of the transcript start with `text`.
inline size_t LinesStartingWith(const std::vector<std::string>& transcript, const std::string& text)
{
    return static_cast<size_t>(std::count_if(transcript.begin(), transcript.end(),
                                             [&](const std::string& line) { return line.rfind(text, 0) == 0; }));
}
