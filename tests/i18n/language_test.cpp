// SPDX-License-Identifier: GPL-3.0-or-later
// Which catalogue the environment asks for.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "i18n/language.h"

namespace {

TEST(Language, ChosenFromTheEnvironment)
{
    using Env = std::map<std::string, std::string>;
    using Names = std::vector<std::string>;
    struct Case {
        Env env;
        Names system;
        Names expected;
    } cases[] = {
        {{}, {}, {}},
        {{{"LANG", "de_DE.UTF-8"}}, {}, {"de_DE", "de"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, {}, {"fr_FR", "fr"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "es_ES@euro"}}, {}, {"es_ES", "es"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr:es_MX"}}, {}, {"fr", "es_MX", "es"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "en:fr"}}, {}, {}},   // English asked for first
        {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}, {}, {}},          // the C locale is English
        {{{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "de"}}, {}, {}},
        {{{"LC_ALL", "POSIX"}}, {}, {}},
        {{{"LANGUAGE", "de"}}, {}, {}},   // no locale: C
        {{{"LC_ALL", "C"}, {"ZENTRIX_LANG", "de"}}, {}, {"de"}},
        {{{"LANG", "fr_FR.UTF-8"}, {"ZENTRIX_LANG", "es_ES.UTF-8:de"}}, {}, {"es_ES", "es", "de"}},
        {{{"ZENTRIX_LANG", "en"}, {"LANG", "de_DE.UTF-8"}}, {}, {}},
        {{{"ZENTRIX_LANG", ""}, {"LANG", "de_DE.UTF-8"}}, {}, {"de_DE", "de"}},
        {{{"LANG", "../../etc"}}, {}, {}},
        {{{"LANG", "de_DE/x"}}, {}, {}},
        {{}, {"de-AT", "en-US"}, {"de_AT", "de"}},                    // Windows' UI languages
        {{{"LANG", "fr_FR.UTF-8"}}, {"de-DE"}, {"fr_FR", "fr"}},
    };
    for (const Case& k : cases) {
        const auto env = [&k](const char* name) -> const char* {
            const auto it = k.env.find(name);
            return it == k.env.end() ? nullptr : it->second.c_str();
        };
        std::string shown;
        for (const auto& [name, value] : k.env) {
            shown += name + "=" + value + " ";
        }
        EXPECT_EQ(ChooseLanguages(env, k.system), k.expected) << shown;
    }
    EXPECT_EQ(CatalogueFiles({"de_AT", "de"}, {"/a", "/b"}, "zentrix-update"),
              (Names{"/a/de_AT/LC_MESSAGES/zentrix-update.mo", "/b/de_AT/LC_MESSAGES/zentrix-update.mo",
                     "/a/de/LC_MESSAGES/zentrix-update.mo", "/b/de/LC_MESSAGES/zentrix-update.mo"}));
}

}  // namespace
