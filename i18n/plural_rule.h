// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plural rule of a catalogue's Plural-Forms header, e.g.
// "nplurals=2; plural=(n > 1);": C's integer expressions over n (?:, ||, &&,
// comparisons, + - * / %, !, parentheses), read anew for each count.
#include <optional>
#include <string>
#include <string_view>

class PluralRule {
public:
    // English's rule (n != 1, two forms).
    PluralRule() = default;
    // The rule of a Plural-Forms header value; nothing when it cannot be read.
    static std::optional<PluralRule> Parse(std::string_view header);

    int FormCount() const { return m_forms; }
    // The form for `n`, 0 when the expression fails (division by zero) or
    // names a form the catalogue does not have.
    int FormFor(unsigned long n) const;

private:
    int m_forms = 2;
    std::string m_expression = "n != 1";
};
