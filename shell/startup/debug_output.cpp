// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/debug_output.h"

#include <cstdio>
#include <cstring>
#include <string>

bool DebugWanted(const char* variable)
{
    return variable != nullptr && (std::strcmp(variable, "1") == 0 || std::strcmp(variable, "on") == 0);
}

std::function<void(std::string_view)> DebugLineWriter(const char* journalStream)
{
    // "<7>": the journal's debug priority, read from the start of each line.
    const std::string mark = journalStream != nullptr && *journalStream != '\0' ? "<7>debug: " : "zentrix-update: debug: ";
    return [mark](std::string_view line) {
        const std::string whole = mark + std::string(line);
        std::fwrite(whole.data(), 1, whole.size(), stderr);
        std::fflush(stderr);
    };
}
