// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/image_folder_memory.h"

#include "shell/startup/config_file.h"
#include "shell/startup/config_writer.h"

namespace {

constexpr const char* kKey = "image-folder";

}  // namespace

std::string RememberedImageFolder(const std::string& file)
{
    const ConfigFile read = ReadConfigFile(file);
    const ConfigValue* folder = read.Find(kKey);
    return folder == nullptr ? std::string() : folder->value;
}

Message RememberImageFolder(const std::string& file, const std::string& folder)
{
    return ChangeConfigFile(file, {nullptr, {std::string(kKey) + " = " + folder}, kKey});
}
