// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/image_folder_memory.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "i18n/message.h"
#include "shell/startup/device_config.h"

namespace {

constexpr const char* kKey = "image-folder";

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The value of an `image-folder` line; false for any other line.
bool FolderLine(const std::string& line, std::string& value)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos || Trimmed(line.substr(0, equals)) != kKey) {
        return false;
    }
    value = Trimmed(line.substr(equals + 1));
    return true;
}

}  // namespace

std::string RememberedImageFolder(const std::string& configText)
{
    std::istringstream in(configText);
    std::string line;
    std::string folder;
    std::string value;
    while (std::getline(in, line)) {
        if (FolderLine(line, value)) {
            folder = value;
        }
    }
    return folder;
}

std::string ConfigFileText(const std::string& file)
{
    // Never more than a configuration file may hold: a larger one is not
    // read (nor rewritten).
    std::error_code error;
    if (std::filesystem::file_size(file, error) > kMaxConfigFileBytes || error) {
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(kMaxConfigFileBytes), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

Message RememberImageFolder(const std::string& file, const std::string& folder)
{
    if (file.empty()) {
        return Message(N_("there is no place for the configuration file (HOME is not set)"));
    }
    std::error_code error;
    if (std::filesystem::is_symlink(file, error)) {
        return Message(N_("%s is a link; it is not written through"), {file});
    }
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    if (error) {
        return Message(N_("cannot make the folder of %s: %s"), {file, error.message()});
    }
    if (std::filesystem::file_size(file, error) > kMaxConfigFileBytes && !error) {
        return Message(N_("%s is ignored: it is larger than %d KiB"),
                          {file, std::to_string(kMaxConfigFileBytes / 1024)});
    }
    std::istringstream old(ConfigFileText(file));
    std::string kept;
    std::string line;
    std::string value;
    while (std::getline(old, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();   // written on Windows: every line ends in a line feed alone now
        }
        if (!FolderLine(line, value)) {
            kept += line + '\n';
        }
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << kept << kKey << " = " << folder << '\n';
    out.flush();
    return out ? Message() : Message(N_("cannot write %s: %s"), {file, std::string(std::strerror(errno))});
}
