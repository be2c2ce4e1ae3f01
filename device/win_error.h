// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows error codes in the terms the layers above report failures in: the
// errno value that says the same (EACCES for a port denied to this user,
// EBUSY for one another program holds, EPIPE for a link that went away, ...).
#include <cstdint>

uint32_t ErrnoFromWindowsError(uint32_t windowsError);
