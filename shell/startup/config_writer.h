// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's configuration file's one writer: what the program remembers
// (the devices chosen, a calculator's name, the image folder) goes in as
// new lines, the file's other lines (the user's comments, keys of a newer
// version) kept as they are. The new file is made beside the old one and
// renamed over it, so that a crash at any moment leaves the old file or the
// new one whole; a link, or a file of another user's, is not written.
#include <string>
#include <vector>

#include "i18n/message.h"

struct ConfigChange {
    const char* comment = nullptr;   // a `#` line put before the new lines; null for none
    std::vector<std::string> lines;  // `key = value` lines to add at the end
    const char* replacing = nullptr; // a key whose earlier lines go; null: every line stays
};

// Empty on success, else why not (the file is then as it was).
Message ChangeConfigFile(const std::string& file, const ConfigChange& change);
