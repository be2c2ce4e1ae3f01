// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The catalogue of the language the user asked for, found beside the
// program: FOLDER/locale (the Windows folder, the build tree), then
// FOLDER/../share/locale (an installed program, wherever it was installed),
// then the folder the program was built for.
#include <optional>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/language.h"

// The chosen catalogue and its language name (for Qt's own texts);
// nothing for English, or when no catalogue of the languages asked for can
// be read.
struct UserCatalogue {
    MoCatalogue catalogue;
    std::string language;
};
std::optional<UserCatalogue> LoadUserCatalogue(const EnvironmentReader& env);
