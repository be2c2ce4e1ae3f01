// SPDX-License-Identifier: GPL-3.0-or-later
#include <systemd/sd-daemon.h>

#include <cstdlib>

#include "shell/session/service_manager.h"

void TellServiceManager(const std::string& state)
{
    (void)sd_notify(0, state.c_str());
}

bool StartedByServiceManager()
{
    const char* socket = std::getenv("NOTIFY_SOCKET");
    return socket != nullptr && *socket != '\0';
}
