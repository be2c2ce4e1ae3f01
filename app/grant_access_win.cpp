// SPDX-License-Identifier: GPL-3.0-or-later
#include <ostream>

#include "app/grant_access.h"
#include "i18n/localize.h"
#include "i18n/text_format.h"

int GrantAccess(const std::string& /*id*/, std::ostream& err, const MoCatalogue* texts)
{
    err << "zentrix-update: "
        << Localize(texts, N_("--grant-access is for Linux; on Windows the calculator's driver gives access")) << "\n";
    return 2;
}
