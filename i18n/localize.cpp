// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/localize.h"

#include <array>
#include <cctype>
#include <charconv>

#include "i18n/text_format.h"

namespace {

constexpr int kMaxArguments = 9;
constexpr int kMaxDepth = 4;            // patterns filled into patterns
constexpr size_t kMaxMatchedText = 8192;
// The most steps one text's translation may take. A text full of the
// characters that follow a pattern's %s (a long configuration line, say)
// would otherwise make the matching try every way to split it, for minutes;
// past the bound it is shown in English.
constexpr size_t kMaxMatchSteps = 400000;

struct MatchBudget {
    size_t left = kMaxMatchSteps;
    bool Spend()
    {
        if (left == 0) {
            return false;
        }
        --left;
        return true;
    }
    bool Spent() const { return left == 0; }
};

using Captures = std::array<std::string_view, kMaxArguments + 1>;

struct Match {
    Captures args;
    int argCount = 0;
    size_t literal = 0;   // characters the pattern fixes: the most wins
};

// The literal text of `pattern` from `at` up to its next directive.
std::string_view LiteralRun(std::string_view pattern, size_t at)
{
    size_t end = at;
    while (end < pattern.size()) {
        int next = 1;
        if (pattern[end] == '%' && ReadDirective(pattern, end, next).length > 0) {
            break;
        }
        ++end;
    }
    return pattern.substr(at, end - at);
}

// Matches pattern[p..] against text[t..], filling `match`; backtracks over
// the places a %s may end, shortest first.
bool MatchFrom(std::string_view pattern, size_t p, std::string_view text, size_t t, int& next, Match& match,
               MatchBudget& budget)
{
    while (p < pattern.size()) {
        if (pattern[p] != '%') {
            const std::string_view run = LiteralRun(pattern, p);
            if (text.substr(t, run.size()) != run) {
                return false;
            }
            match.literal += run.size();
            p += run.size();
            t += run.size();
            continue;
        }
        int after = next;
        const TextDirective d = ReadDirective(pattern, p, after);
        if (d.length == 0) {
            if (t >= text.size() || text[t] != '%') {
                return false;
            }
            ++p;
            ++t;
            continue;
        }
        if (d.argument == 0) {   // %%
            if (t >= text.size() || text[t] != '%') {
                return false;
            }
            p += d.length;
            ++t;
            continue;
        }
        if (d.argument > kMaxArguments) {
            return false;
        }
        const size_t rest = p + d.length;
        const std::string_view following = LiteralRun(pattern, rest);
        for (size_t end = d.digits ? t + 1 : t; end <= text.size(); ++end) {
            if (!budget.Spend()) {
                return false;
            }
            if (d.digits && std::isdigit(static_cast<unsigned char>(text[end - 1])) == 0) {
                break;   // a %d is digits only
            }
            if (!following.empty() && text.substr(end, following.size()) != following) {
                continue;
            }
            if (following.empty() && rest >= pattern.size() && end != text.size()) {
                continue;   // the last directive takes the rest
            }
            Match attempt = match;
            int attemptNext = after;
            attempt.args[static_cast<size_t>(d.argument)] = text.substr(t, end - t);
            attempt.argCount = std::max(attempt.argCount, d.argument);
            if (MatchFrom(pattern, rest, text, end, attemptNext, attempt, budget)) {
                match = attempt;
                next = attemptNext;
                return true;
            }
        }
        return false;
    }
    return t == text.size();
}

bool Matches(std::string_view pattern, std::string_view text, Match& match, MatchBudget& budget)
{
    int next = 1;
    match = Match{};
    return !pattern.empty() && MatchFrom(pattern, 0, text, 0, next, match, budget);
}

// The count of a text with a plural: its first %d argument.
unsigned long CountOf(std::string_view pattern, const Match& match)
{
    int next = 1;
    for (size_t p = pattern.find('%'); p != std::string_view::npos; p = pattern.find('%', p + 1)) {
        const TextDirective d = ReadDirective(pattern, p, next);
        if (d.digits && d.argument > 0) {
            const std::string_view digits = match.args[static_cast<size_t>(d.argument)];
            unsigned long n = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), n);
            return n;
        }
        p += d.length > 0 ? d.length - 1 : 0;
    }
    return 1;
}

std::string Translate(const MoCatalogue& catalogue, std::string_view english, int depth, MatchBudget& budget)
{
    if (const MoCatalogue::Entry* entry = catalogue.Find(english)) {
        // A whole text with a count in it names its form by being the plural.
        const std::string_view form = entry->plural.empty()
                                          ? MoCatalogue::Form(*entry, 0)
                                          : catalogue.ForCount(*entry, english == entry->plural ? 2 : 1);
        return form.empty() ? std::string(english) : std::string(form);
    }
    if (depth >= kMaxDepth || english.size() > kMaxMatchedText) {
        return std::string(english);
    }
    const MoCatalogue::Entry* best = nullptr;
    Match bestMatch;
    unsigned long count = 1;
    for (const MoCatalogue::Entry* pattern : catalogue.Patterns()) {
        for (const std::string_view form : {pattern->singular, pattern->plural}) {
            Match match;
            if (Matches(form, english, match, budget) && match.literal > 0 &&
                (best == nullptr || match.literal > bestMatch.literal)) {
                best = pattern;
                bestMatch = match;
                count = pattern->plural.empty() ? 1 : CountOf(form, match);
            }
        }
    }
    if (best == nullptr || budget.Spent()) {
        return std::string(english);   // nothing matched, or not every pattern could be tried
    }
    std::array<std::string, kMaxArguments> translated;
    for (int i = 1; i <= bestMatch.argCount; ++i) {
        const auto at = static_cast<size_t>(i);
        translated[at - 1] = Translate(catalogue, bestMatch.args[at], depth + 1, budget);
    }
    const std::string_view form =
        best->plural.empty() ? MoCatalogue::Form(*best, 0) : catalogue.ForCount(*best, count);
    if (form.empty()) {
        return std::string(english);
    }
    return FormatText(form, {translated[0], translated[1], translated[2], translated[3], translated[4],
                             translated[5], translated[6], translated[7], translated[8]});
}

}  // namespace

std::string Localize(const MoCatalogue* catalogue, std::string_view english)
{
    MatchBudget budget;
    return catalogue == nullptr ? std::string(english) : Translate(*catalogue, english, 0, budget);
}

std::string LocalizeCount(const MoCatalogue* catalogue, const char* singular, const char* plural, unsigned long n)
{
    if (catalogue != nullptr) {
        if (const MoCatalogue::Entry* entry = catalogue->Find(singular); entry != nullptr && entry->plural == plural) {
            const std::string_view form = catalogue->ForCount(*entry, n);
            if (!form.empty()) {
                return std::string(form);
            }
        }
    }
    return n == 1 ? singular : plural;
}
