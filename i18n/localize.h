// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's English texts in the user's language, translated where they
// are shown. The update run, the shell and the history keep their texts in
// English (the trace, the history file and --json hold them as they are);
// a front end passes each text through Localize just before showing it.
#include <string>
#include <string_view>

#include "i18n/catalogue.h"

// The translation of `english`: its entry's; else, when `english` fills in
// a pattern of the catalogue ("the calculator at %s is busy"), the
// pattern's translation filled in with the same arguments, each translated
// in turn (a reason quoted inside a reason); else `english` unchanged.
// A null catalogue (English) gives `english` unchanged.
std::string Localize(const MoCatalogue* catalogue, std::string_view english);

// The same for a text with a count: the form of the catalogue's language
// for `n`; English (no catalogue) is PluralText's choice.
std::string LocalizeCount(const MoCatalogue* catalogue, const char* singular, const char* plural, unsigned long n);
