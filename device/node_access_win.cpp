// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/node_access.h"

std::string NodeAccessText(const std::string& /*path*/)
{
    return {};
}
