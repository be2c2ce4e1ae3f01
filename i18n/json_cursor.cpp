// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/json_cursor.h"

#include <cstdint>

#include "i18n/safe_text.h"

void CJsonCursor::Space()
{
    while (m_at < m_text.size() && m_space.find(m_text[m_at]) != std::string_view::npos) {
        ++m_at;
    }
}

bool CJsonCursor::Take(char c)
{
    Space();
    if (m_at < m_text.size() && m_text[m_at] == c) {
        ++m_at;
        return true;
    }
    return false;
}

bool CJsonCursor::Peek(char c)
{
    Space();
    return m_at < m_text.size() && m_text[m_at] == c;
}

bool CJsonCursor::AtEnd()
{
    Space();
    return m_at == m_text.size();
}

bool CJsonCursor::Word(std::string_view word)
{
    if (m_text.substr(m_at, word.size()) != word) {
        return false;
    }
    m_at += word.size();
    return true;
}

bool CJsonCursor::Hex4(uint32_t& code)
{
    code = 0;
    for (int i = 0; i < 4; ++i, ++m_at) {
        if (m_at >= m_text.size()) {
            return false;
        }
        const char c = m_text[m_at];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return false;
        }
        code = code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

bool CJsonCursor::Escape(std::string& out)
{
    if (m_at >= m_text.size()) {
        return false;
    }
    const char c = m_text[m_at++];
    static constexpr std::string_view kFrom = "\"\\/bfnrt";
    static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
    if (const size_t i = kFrom.find(c); c != 'u' && i != std::string_view::npos) {
        out += kTo[i];
        return true;
    }
    uint32_t code = 0;
    if (c != 'u' || !Hex4(code)) {
        return false;
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
        uint32_t low = 0;
        if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
            return false;
        }
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
        return false;
    }
    AppendUtf8(out, code);
    return true;
}

bool CJsonCursor::String(std::string& out)
{
    if (!Take('"')) {
        return false;
    }
    while (m_at < m_text.size()) {
        const char c = m_text[m_at++];
        if (c == '"') {
            return true;
        }
        if (static_cast<uint8_t>(c) < 0x20 || (c == '\\' && !Escape(out))) {
            return false;
        }
        if (c != '\\') {
            out += c;
        }
    }
    return false;   // the input ended inside the text
}
