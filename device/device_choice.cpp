// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_choice.h"

#include <cctype>

std::string NormalizedUsbId(const std::string& text)
{
    if (text.size() != 9 || text[4] != ':') {
        return {};
    }
    std::string id = text;
    for (size_t i = 0; i < id.size(); ++i) {
        if (i == 4) {
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(id[i]);
        if (std::isxdigit(c) == 0) {
            return {};
        }
        id[i] = static_cast<char>(std::tolower(c));
    }
    return id;
}
