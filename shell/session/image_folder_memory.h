// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The image folder last chosen from the desktop, kept per user in the
// configuration file as an `image-folder = PATH` line (the last one counts),
// so that the folder chooser offers it the next time.
#include <string>

#include "i18n/message.h"

// The folder the configuration file at `file` remembers; empty for none.
std::string RememberedImageFolder(const std::string& file);

// Keeps `folder` in the configuration file `file` in place of any folder it
// remembered, leaving its other lines as they are; empty on success, else
// why not. A file that is a link is not written.
Message RememberImageFolder(const std::string& file, const std::string& folder);
