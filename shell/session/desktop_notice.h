// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A notification on the desktop, for a teacher who walked away from a set:
// on Linux through org.freedesktop.Notifications on the session bus, sent
// without waiting for an answer; nothing where there is no session bus (no
// delay either). On Windows a balloon from the notification area, shown by
// a thread of its own.
#include <string>

// False with `why` when it could not be sent.
bool ShowDesktopNotice(const std::string& summary, const std::string& body, std::string& why);

// When a set's end is notified: `notify = on` always, `off` never, without
// the line when the program's window is not the active one.
enum class NoticeSetting { WhenAway, Always, Never };
