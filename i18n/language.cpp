// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/language.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Variable(const EnvironmentReader& env, const char* name)
{
    const char* value = env(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool IsCLocale(const std::string& locale)
{
    const std::string base = locale.substr(0, locale.find_first_of(".@"));
    return base.empty() || base == "C" || base == "POSIX";
}

std::vector<std::string> Split(const std::string& list, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = list.find(separator, start);
        parts.push_back(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

void AddNames(std::vector<std::string>& languages, const std::string& locale)
{
    for (const std::string& name : LanguageNames(locale)) {
        if (std::find(languages.begin(), languages.end(), name) == languages.end()) {
            languages.push_back(name);
        }
    }
}

std::vector<std::string> FromList(const std::string& list)
{
    std::vector<std::string> languages;
    for (const std::string& item : Split(list, ':')) {
        if (item.rfind("en", 0) == 0 && (item.size() == 2 || item[2] == '_' || item[2] == '.' || item[2] == '-')) {
            break;   // English asked for before any other language
        }
        AddNames(languages, item);
    }
    return languages;
}

}  // namespace

std::vector<std::string> LanguageNames(const std::string& locale)
{
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    std::replace(name.begin(), name.end(), '-', '_');
    const std::string language = name.substr(0, name.find('_'));
    const bool letters = language.size() >= 2 && language.size() <= 3 &&
                         std::all_of(language.begin(), language.end(),
                                     [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; });
    const bool tidy = std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    });
    if (!letters || !tidy || language == "en") {
        return {};
    }
    if (name == language) {
        return {language};
    }
    return {name, language};
}

std::vector<std::string> ChooseLanguages(const EnvironmentReader& env, const std::vector<std::string>& systemLanguages)
{
    const std::string chosen = Variable(env, "ZENTRIX_LANG");
    if (!chosen.empty()) {
        return FromList(chosen);
    }
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = Variable(env, name);
        if (!locale.empty()) {
            break;
        }
    }
    if (locale.empty() && !systemLanguages.empty()) {
        std::vector<std::string> languages;
        for (const std::string& item : systemLanguages) {
            AddNames(languages, item);
        }
        return languages;
    }
    if (IsCLocale(locale)) {
        return {};
    }
    const std::string list = Variable(env, "LANGUAGE");
    return list.empty() ? FromList(locale) : FromList(list);
}

std::vector<std::string> CatalogueFiles(const std::vector<std::string>& languages,
                                        const std::vector<std::string>& folders, const std::string& domain)
{
    std::vector<std::string> files;
    for (const std::string& language : languages) {
        for (const std::string& folder : folders) {
            files.push_back(folder + "/" + language + "/LC_MESSAGES/" + domain + ".mo");
        }
    }
    return files;
}
