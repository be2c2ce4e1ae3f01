// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/config_writer.h"

#include <filesystem>

#include "device/safe_text.h"
#include "shell/files/safe_file.h"
#include "shell/startup/config_file.h"
#include "shell/startup/config_lines.h"

namespace {

// The file's lines without those of `replacing`, each ending in a line
// feed alone (a file written on Windows may end them in CR LF).
std::string KeptLines(const std::string& old, const char* replacing)
{
    std::string kept;
    for (const ConfigLine& line : ConfigLines(old)) {
        if (replacing == nullptr || line.kind != ConfigLine::Kind::Setting || line.key != replacing) {
            std::string_view text = line.text;
            if (!text.empty() && text.back() == '\r') {
                text.remove_suffix(1);
            }
            kept.append(text).push_back('\n');
        }
    }
    return kept;
}

// Why the file at `file` may not be replaced; empty when it may. `mode`
// gets the permissions the new file keeps.
Message WhyNotReplaced(const std::string& file, unsigned& mode)
{
    std::string why;
    switch (InspectWriteTarget(file, mode, why)) {
    case WriteTarget::Missing:
    case WriteTarget::OwnFile:
        return {};
    case WriteTarget::Link:
        return Message(N_("%s is a link; it is not written through"), {SafeText(file)});
    case WriteTarget::OthersFile:
        return Message(N_("%s belongs to another user; it is not written"), {SafeText(file)});
    case WriteTarget::NotPlain:
        return Message(N_("cannot write %s: %s"), {SafeText(file), Message(N_("not a file"))});
    case WriteTarget::Unknown:
        break;
    }
    return Message(N_("cannot write %s: %s"), {SafeText(file), why});
}

}  // namespace

Message ChangeConfigFile(const std::string& file, const ConfigChange& change)
{
    if (file.empty()) {
        return Message(N_("there is no place for the configuration file (HOME is not set)"));
    }
    unsigned mode = 0644;   // a new file: readable as the files a person makes
    const Message refused = WhyNotReplaced(file, mode);
    if (!refused.Empty()) {
        return refused;
    }
    std::string old;
    std::vector<Message> unread;
    if (!ConfigFileBytes(file, old, unread)) {
        return unread.front();
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    if (error) {
        return Message(N_("cannot make the folder of %s: %s"), {SafeText(file), error.message()});
    }
    std::string text = KeptLines(old, change.replacing);
    if (change.comment != nullptr) {
        text.append(change.comment).push_back('\n');
    }
    for (const std::string& line : change.lines) {
        text.append(line).push_back('\n');
    }
    std::string why;
    CReplacingFile replaced(file);
    if (!replaced.Open(why, mode) || !replaced.Write(text, why) || !replaced.Commit(why)) {
        return Message(N_("cannot write %s: %s"), {SafeText(file), why});
    }
    return {};
}
