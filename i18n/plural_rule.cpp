// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/plural_rule.h"

#include <cctype>

namespace {

// A recursive-descent reader that evaluates as it reads.
class Expression {
public:
    Expression(std::string_view text, unsigned long n) : m_text(text), m_n(n) {}

    std::optional<unsigned long> Whole()
    {
        const unsigned long value = Ternary();
        Skip();
        if (!m_ok || m_divided || m_at != m_text.size()) {
            return std::nullopt;
        }
        return value;
    }
    // Whether the text is an expression (a division by zero is its value's
    // fault, not the text's).
    bool Readable()
    {
        Whole();
        return m_ok && m_at == m_text.size();
    }

private:
    static constexpr int kMaxDepth = 64;

    void Skip()
    {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at])) != 0) {
            ++m_at;
        }
    }
    bool Take(std::string_view op)
    {
        Skip();
        if (m_text.substr(m_at, op.size()) != op) {
            return false;
        }
        // "<" is not the start of "<=", nor "|" of "||" etc.
        const char after = m_at + op.size() < m_text.size() ? m_text[m_at + op.size()] : '\0';
        if (op.size() == 1 && ((op[0] == '<' || op[0] == '>' || op[0] == '!' || op[0] == '=') && after == '=')) {
            return false;
        }
        m_at += op.size();
        return true;
    }
    unsigned long Fail()
    {
        m_ok = false;
        return 0;
    }

    unsigned long Ternary()
    {
        if (++m_depth > kMaxDepth) {
            return Fail();
        }
        const unsigned long condition = Or();
        unsigned long value = condition;
        if (Take("?")) {
            const unsigned long yes = Ternary();
            if (!Take(":")) {
                return Fail();
            }
            const unsigned long no = Ternary();
            value = condition != 0 ? yes : no;
        }
        --m_depth;
        return value;
    }
    unsigned long Or()
    {
        unsigned long v = And();
        while (m_ok && Take("||")) {
            const unsigned long r = And();
            v = (v != 0 || r != 0) ? 1 : 0;
        }
        return v;
    }
    unsigned long And()
    {
        unsigned long v = Equality();
        while (m_ok && Take("&&")) {
            const unsigned long r = Equality();
            v = (v != 0 && r != 0) ? 1 : 0;
        }
        return v;
    }
    unsigned long Equality()
    {
        unsigned long v = Relation();
        for (;;) {
            if (Take("==")) {
                v = v == Relation() ? 1 : 0;
            } else if (Take("!=")) {
                v = v != Relation() ? 1 : 0;
            } else {
                return v;
            }
        }
    }
    unsigned long Relation()
    {
        unsigned long v = Sum();
        for (;;) {
            if (Take("<=")) {
                v = v <= Sum() ? 1 : 0;
            } else if (Take(">=")) {
                v = v >= Sum() ? 1 : 0;
            } else if (Take("<")) {
                v = v < Sum() ? 1 : 0;
            } else if (Take(">")) {
                v = v > Sum() ? 1 : 0;
            } else {
                return v;
            }
        }
    }
    unsigned long Sum()
    {
        unsigned long v = Product();
        for (;;) {
            if (Take("+")) {
                v += Product();
            } else if (Take("-")) {
                v -= Product();
            } else {
                return v;
            }
        }
    }
    unsigned long Product()
    {
        unsigned long v = Unary();
        for (;;) {
            const bool times = Take("*");
            const bool divide = !times && Take("/");
            const bool rest = !times && !divide && Take("%");
            if (!times && !divide && !rest) {
                return v;
            }
            const unsigned long r = Unary();
            if (times) {
                v *= r;
            } else if (r == 0) {
                m_divided = true;
                v = 0;
            } else {
                v = divide ? v / r : v % r;
            }
        }
    }
    unsigned long Unary()
    {
        if (Take("!")) {
            if (++m_depth > kMaxDepth) {
                return Fail();
            }
            const unsigned long v = Unary() == 0 ? 1 : 0;
            --m_depth;
            return v;
        }
        return Primary();
    }
    unsigned long Primary()
    {
        Skip();
        if (Take("(")) {
            const unsigned long v = Ternary();
            return Take(")") ? v : Fail();
        }
        if (m_at < m_text.size() && m_text[m_at] == 'n') {
            ++m_at;
            return m_n;
        }
        if (m_at >= m_text.size() || std::isdigit(static_cast<unsigned char>(m_text[m_at])) == 0) {
            return Fail();
        }
        unsigned long v = 0;
        while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])) != 0 && v < 100000000) {
            v = v * 10 + static_cast<unsigned long>(m_text[m_at++] - '0');
        }
        return v;
    }

    std::string_view m_text;
    unsigned long m_n;
    size_t m_at = 0;
    int m_depth = 0;
    bool m_ok = true;
    bool m_divided = false;   // by zero
};

// The value after `key=` up to the next ';' (or the end).
std::optional<std::string_view> Field(std::string_view header, std::string_view key)
{
    size_t at = header.find(key);
    while (at != std::string_view::npos && at > 0 && std::isalpha(static_cast<unsigned char>(header[at - 1])) != 0) {
        at = header.find(key, at + 1);   // "plural" inside "nplurals"
    }
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    size_t start = at + key.size();
    while (start < header.size() && header[start] == ' ') {
        ++start;
    }
    if (start >= header.size() || header[start] != '=') {
        return std::nullopt;
    }
    ++start;
    const size_t end = header.find(';', start);
    return header.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

}  // namespace

std::optional<PluralRule> PluralRule::Parse(std::string_view header)
{
    const std::optional<std::string_view> forms = Field(header, "nplurals");
    const std::optional<std::string_view> plural = Field(header, "plural");
    if (!forms || !plural) {
        return std::nullopt;
    }
    const std::optional<unsigned long> count = Expression(*forms, 0).Whole();
    if (!count || *count < 1 || *count > 6 || !Expression(*plural, 1).Readable()) {
        return std::nullopt;
    }
    PluralRule rule;
    rule.m_forms = static_cast<int>(*count);
    rule.m_expression = std::string(*plural);
    return rule;
}

int PluralRule::FormFor(unsigned long n) const
{
    const std::optional<unsigned long> form = Expression(m_expression, n).Whole();
    return form && *form < static_cast<unsigned long>(m_forms) ? static_cast<int>(*form) : 0;
}
