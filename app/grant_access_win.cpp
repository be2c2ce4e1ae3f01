// SPDX-License-Identifier: GPL-3.0-or-later
#include <ostream>

#include "app/grant_access.h"

int GrantAccess(const std::string& /*id*/, std::ostream& err)
{
    err << "zentrix-update: --grant-access is for Linux; on Windows the calculator's driver gives access\n";
    return 2;
}
