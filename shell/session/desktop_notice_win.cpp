// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/desktop_notice.h"

bool ShowDesktopNotice(const std::string& /*summary*/, const std::string& /*body*/, std::string& why)
{
    why = "this program shows no notifications on Windows yet";
    return false;
}
