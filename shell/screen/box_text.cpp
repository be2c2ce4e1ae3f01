// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/box_text.h"

#include <algorithm>

namespace {

bool StartsCodePoint(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0u) != 0x80u;
}

}  // namespace

size_t LongestLineLength(const std::string& text)
{
    size_t longest = 0;
    size_t current = 0;
    for (const char byte : text) {
        if (byte == '\r' || byte == '\n') {
            current = 0;
            continue;
        }
        if (StartsCodePoint(byte)) {
            longest = std::max(longest, ++current);
        }
    }
    return longest;
}

bool CaptionWouldBeCut(const std::string& text, const std::string& caption)
{
    return LongestLineLength(caption) > LongestLineLength(text);
}

std::string BoxBody(const std::string& text, const std::string& caption)
{
    return CaptionWouldBeCut(text, caption) ? caption + "\r\n\r\n" + text : text;
}
