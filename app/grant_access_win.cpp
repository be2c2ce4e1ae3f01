// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/grant_access.h"
#include "i18n/message.h"

int GrantAccess(const std::string& /*id*/, const std::string& /*group*/, const COwnLines& err)
{
    err.Say(Message(N_("--grant-access is for Linux; on Windows the calculator's driver gives access")),
            OwnLineKind::Error);
    return 2;
}
