// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A compiled gettext catalogue (.mo), read by the program itself on every
// platform. Every offset and length in the file is checked when it is read:
// a file that is cut short or damaged anywhere is refused whole (and the
// program stays English).
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/plural_rule.h"

class MoCatalogue {
public:
    struct Entry {
        std::string_view singular;      // the English text (msgid)
        std::string_view plural;        // msgid_plural; empty for most
        std::string_view translations;  // the forms, separated by NULs
    };

    // The catalogue in `bytes` (a whole .mo file); nothing when it is not one.
    static std::optional<MoCatalogue> Parse(std::string bytes);
    // The catalogue in the file at `path`; nothing when it cannot be read.
    static std::optional<MoCatalogue> Load(const std::string& path);

    // The entry whose (singular) English text is `english`: a binary search.
    const Entry* Find(std::string_view english) const;
    // Form `form` of the entry's translation (the last one when there are
    // fewer); never empty for an entry of a parsed catalogue.
    static std::string_view Form(const Entry& entry, int form);
    // The translation for the count `n`.
    std::string_view ForCount(const Entry& entry, unsigned long n) const;

    const PluralRule& Rule() const { return m_rule; }
    size_t Size() const { return m_entries.size(); }

private:
    std::shared_ptr<const std::string> m_bytes;   // the views point into it
    std::vector<Entry> m_entries;                 // sorted by singular
    PluralRule m_rule;
};
