// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which language the user asked for, and where its catalogue is.
#include <functional>
#include <string>
#include <vector>

// Reads an environment variable; null when it is not set.
using EnvironmentReader = std::function<const char*(const char*)>;

// The catalogue names to try, most wanted first ("de_AT", "de", "fr"):
// ZENTRIX_LANG when set and not empty (a colon list, like LANGUAGE);
// otherwise, unless the locale (the first set of LC_ALL, LC_MESSAGES, LANG)
// is empty, C or POSIX, LANGUAGE's list when set, else the locale's
// language. `systemLanguages` (the user's UI languages on Windows) stand in
// for the locale when none of these is set. Empty: English.
std::vector<std::string> ChooseLanguages(const EnvironmentReader& env,
                                         const std::vector<std::string>& systemLanguages = {});

// "de_DE.UTF-8@euro" -> {"de_DE", "de"}; "de-AT" (Windows) -> {"de_AT", "de"};
// "C", "POSIX", "en" and names that are not a language give nothing.
std::vector<std::string> LanguageNames(const std::string& locale);

// The catalogue files to try for `languages` below each of `folders`:
// FOLDER/LANG/LC_MESSAGES/DOMAIN.mo.
std::vector<std::string> CatalogueFiles(const std::vector<std::string>& languages,
                                        const std::vector<std::string>& folders, const std::string& domain);
