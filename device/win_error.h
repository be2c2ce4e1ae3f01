// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows error codes in the terms the layers above report failures in: the
// errno value that says the same (EACCES for a port denied to this user,
// EBUSY for one another program holds, EPIPE for a link that went away, ...).
#include <cstdint>
#include <string>

uint32_t ErrnoFromWindowsError(uint32_t windowsError);

// The system's own words for a Windows error code, without the closing full
// stop; "error N" when it has none.
std::string WindowsErrorText(uint32_t windowsError);
