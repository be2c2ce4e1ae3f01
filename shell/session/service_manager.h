// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells the service manager that started the program what it is doing
// ("READY=1", "STATUS=...", "STOPPING=1" through systemd's NOTIFY_SOCKET);
// nothing when no service manager asked for it, or on Windows.
#include <string>

void TellServiceManager(const std::string& state);

// True when a service manager started the program and listens to it (a
// system service); false on Windows.
bool StartedByServiceManager();
