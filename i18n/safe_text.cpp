// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/safe_text.h"

#include <cstdint>

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr const char* kEllipsis = "...";

void AppendHex(std::string& out, uint8_t b)
{
    out += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
}

// Appends the shown form of the character at the start of `text`; returns
// how many bytes of `text` it stood for.
size_t AppendShown(std::string& out, std::string_view text)
{
    const auto b = static_cast<uint8_t>(text[0]);
    switch (b) {
    case '\n': out += "\\n"; return 1;
    case '\r': out += "\\r"; return 1;
    case '\t': out += "\\t"; return 1;
    default: break;
    }
    if (b < 0x20 || b == 0x7F) {
        AppendHex(out, b);
        return 1;
    }
    if (b < 0x80) {
        out += static_cast<char>(b);
        return 1;
    }
    char32_t code = 0;
    const size_t length = DecodeUtf8(text, code);
    if (length == 0) {
        AppendHex(out, b);
        return 1;
    }
    if (code < 0xA0) {
        AppendHex(out, b);   // a C1 control: some terminals obey it
        AppendHex(out, static_cast<uint8_t>(text[1]));
        return 2;
    }
    if (IsControlCharacter(code)) {
        out += {'\\', 'u', kHex[(code >> 12) & 15], kHex[(code >> 8) & 15], kHex[(code >> 4) & 15], kHex[code & 15]};
        return length;
    }
    out.append(text.substr(0, length));
    return length;
}

std::string Escape(std::string_view text, size_t maxChars)
{
    std::string out;
    out.reserve(text.size() < maxChars ? text.size() : maxChars);
    size_t shown = 0;
    std::string piece;
    while (!text.empty()) {
        piece.clear();
        const size_t used = AppendShown(piece, text);
        if (shown == maxChars) {
            out += kEllipsis;   // more follows than may be shown
            break;
        }
        out += piece;
        ++shown;
        text.remove_prefix(used);
    }
    return out;
}

}  // namespace

bool IsControlCharacter(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x2028 && code <= 0x202E) || code == 0x2060 || (code >= 0x2066 && code <= 0x2069) ||
           code == 0xFEFF;
}

size_t EncodeUtf8(char32_t code, char* out)
{
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | (code >> 6));
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code >> 12));
        out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (code >> 18));
    out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}

void AppendUtf8(std::string& out, char32_t code)
{
    char bytes[4];
    out.append(bytes, EncodeUtf8(code, bytes));
}

size_t DecodeUtf8(std::string_view text, char32_t& code)
{
    if (text.empty()) {
        return 0;
    }
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint8_t low = 0x80;   // the range of the second byte
    uint8_t high = 0xBF;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    return length;
}

std::string SafeText(std::string_view text, size_t maxChars)
{
    return Escape(text, maxChars);
}

std::string SafeLine(std::string_view text)
{
    return Escape(text, SIZE_MAX);
}
