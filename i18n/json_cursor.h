// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pieces of JSON text, read one at a time, for the program's small
// readers of what it wrote itself (a history line, a stored message): each
// piece says whether it was there, and a reader built on it decides what may
// follow. Nothing is trusted: a text ends where the input does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CJsonCursor {
public:
    // `space`: the characters skipped before a piece.
    explicit CJsonCursor(std::string_view text, std::string_view space = " \t\r") : m_text(text), m_space(space) {}

    void Space();
    // `c`, after any space.
    bool Take(char c);
    // Whether `c` comes next, after any space; nothing is taken.
    bool Peek(char c);
    // Whether only space is left.
    bool AtEnd();
    // `word`, right where the reading is (no space skipped).
    bool Word(std::string_view word);
    // A string, after any space: its text appended to `out`, escapes
    // decoded (a \u escape as UTF-8, a surrogate pair as the one character it
    // stands for). False at a control character, an escape that is not
    // JSON's, half a surrogate pair, or the end of the input inside it.
    bool String(std::string& out);

protected:
    std::string_view m_text;
    size_t m_at = 0;

private:
    bool Hex4(uint32_t& code);
    bool Escape(std::string& out);

    std::string_view m_space;
};
