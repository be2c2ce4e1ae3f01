// SPDX-License-Identifier: GPL-3.0-or-later
#include <ostream>

#include "app/grant_access.h"
#include "i18n/message.h"

int GrantAccess(const std::string& /*id*/, const std::string& /*group*/, std::ostream& err, const MoCatalogue* texts)
{
    err << "zentrix-update: "
        << Message(N_("--grant-access is for Linux; on Windows the calculator's driver gives access")).Render(texts)
        << "\n";
    return 2;
}
