// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/service_manager.h"

void TellServiceManager(const std::string& /*state*/) {}

bool StartedByServiceManager()
{
    return false;
}
