// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/config_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "device/decision_log.h"
#include "device/device_labels.h"
#include "device/device_source.h"
#include "device/safe_text.h"
#include "shell/startup/config_lines.h"
#include "shell/startup/reply_timeout.h"

namespace {

// Bounds of what a file's warnings say.
constexpr size_t kShownValueChars = 60;   // of a key or value echoed in a warning
constexpr int kMaxLineWarnings = 10;      // per file; the rest are counted

std::string Shown(std::string_view text)
{
    return SafeText(std::string(text), kShownValueChars);
}

// Each reads one line's value into the file, or says why it does not.
using ValueReader = Message (*)(std::string_view value, ConfigFile& into);

Message ReadDevice(std::string_view value, ConfigFile& into)
{
    if (value == kUsbSerialPrefix || value == kUsbPortPrefix) {
        // Names nothing, and is no file to be tried either.
        return Message(N_("device = %s names no calculator: a serial number or port follows the colon"),
                       {std::string(value)});
    }
    into.choice.paths.emplace_back(value);
    return {};
}

Message ReadUsbId(std::string_view value, ConfigFile& into)
{
    const std::string id = NormalizedUsbId(std::string(value));
    if (id.empty()) {
        return Message(N_("usb-id %s is not a VVVV:PPPP pair of four hex digits each"), {Shown(value)});
    }
    into.choice.usbIds.push_back(id);
    return {};
}

// A `KEY = DEVICE = NAME` line into `names`; `malformed` says what it must be.
Message ReadDeviceName(std::string_view value, std::vector<DeviceLabel>& names, const char* malformed)
{
    std::string_view device;
    std::string_view name;
    if (!SplitAtEquals(value, device, name) || device.empty() || name.empty()) {
        return Message(malformed, {Shown(value)});
    }
    names.push_back({std::string(device), SafeText(std::string(name), kLabelChars)});
    return {};
}

Message ReadLabel(std::string_view value, ConfigFile& into)
{
    return ReadDeviceName(value, into.choice.labels, N_("a label line is label = DEVICE = NAME, not label = %s"));
}

Message ReadAssetTag(std::string_view value, ConfigFile& into)
{
    return ReadDeviceName(value, into.choice.assetTags,
                          N_("an asset-tag line is asset-tag = DEVICE = TAG, not asset-tag = %s"));
}

// A site's or station's name: kept as it is shown, cut to a label's length.
Message CheckPlaceName(std::string_view value, ConfigFile&)
{
    return SafeText(std::string(value), kLabelChars) == value
               ? Message()
               : Message(N_("a site or station name is at most %d plain characters, not %s"),
                         {std::to_string(kLabelChars), Shown(value)});
}

Message CheckSystemLog(std::string_view value, ConfigFile&)
{
    return value == "on" || value == "off" || value == "syslog"
               ? Message()
               : Message(N_("system-log is on, off or syslog, not %s"), {Shown(value)});
}

Message CheckSeconds(std::string_view value, ConfigFile&)
{
    return ParseSilenceSeconds(std::string(value))
               ? Message()
               : Message(N_("reply-timeout is a whole number of seconds, not %s"), {Shown(value)});
}

Message CheckNotify(std::string_view value, ConfigFile&)
{
    return value == "on" || value == "off" ? Message() : Message(N_("notify is on or off, not %s"), {Shown(value)});
}

Message CheckConfirm(std::string_view value, ConfigFile&)
{
    return value == "on" || value == "off" ? Message() : Message(N_("confirm is on or off, not %s"), {Shown(value)});
}

Message CheckConfirmTimeout(std::string_view value, ConfigFile&)
{
    return SettingSeconds(value)
               ? Message()
               : Message(N_("confirm-timeout is a whole number of seconds from 1 to 3600, not %s"), {Shown(value)});
}

Message CheckHookTimeout(std::string_view value, ConfigFile&)
{
    return SettingSeconds(value)
               ? Message()
               : Message(N_("hook-timeout is a whole number of seconds from 1 to 3600, not %s"), {Shown(value)});
}

Message ReadPath(std::string_view, ConfigFile&)
{
    return {};   // any path; one that cannot be written is said when it is written
}

// The keys a file may hold, in the order the warnings list them. A key
// that repeats is taken by its reader; any other is checked by it (when it
// has one: else kept as written, to be judged where it is used) and its
// last good line kept. A key with a reader needs a value.
struct KeyRule {
    const char* name;
    bool repeats;
    ValueReader read;
};
constexpr KeyRule kKeys[] = {
    {"device", true, ReadDevice},
    {"usb-id", true, ReadUsbId},
    {"label", true, ReadLabel},
    {"asset-tag", true, ReadAssetTag},
    {"site", false, CheckPlaceName},
    {"station-name", false, CheckPlaceName},
    {"system-log", false, CheckSystemLog},
    {"reply-timeout", false, CheckSeconds},
    {"image-folder", false, nullptr},
    {"image-sha256", false, nullptr},
    {"metrics-file", false, ReadPath},
    {"on-run-end", false, nullptr},
    {"on-set-end", false, nullptr},
    {"hook-timeout", false, CheckHookTimeout},
    {"notify", false, CheckNotify},
    {"confirm", false, CheckConfirm},
    {"confirm-timeout", false, CheckConfirmTimeout},
};

const KeyRule* FindKey(std::string_view name)
{
    for (const KeyRule& rule : kKeys) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

std::string KnownKeys()
{
    std::string known;
    for (const KeyRule& rule : kKeys) {
        known += (known.empty() ? "" : ", ") + std::string(rule.name);
    }
    return known;
}

void Keep(ConfigFile& into, const char* key, const ConfigLine& line)
{
    for (ConfigFile::Setting& setting : into.settings) {
        if (setting.key == key) {
            setting.value = {std::string(line.value), line.number};
            return;
        }
    }
    into.settings.push_back({key, {std::string(line.value), line.number}});
}

// Why a line is not read; empty when it was.
Message ReadLine(const ConfigLine& line, ConfigFile& into)
{
    switch (line.kind) {
    case ConfigLine::Kind::Blank:
    case ConfigLine::Kind::Comment:
        return {};
    case ConfigLine::Kind::TooLong:
        return Message(N_("longer than %d characters"), {std::to_string(kMaxConfigLineChars)});
    case ConfigLine::Kind::NotSetting:
        return Message(N_("not a key = value line"));
    case ConfigLine::Kind::Setting:
        break;
    }
    const KeyRule* rule = FindKey(line.key);
    if (rule == nullptr) {
        return Message(N_("unknown key \"%s\" (known: %s)"), {Shown(line.key), KnownKeys()});
    }
    if (rule->read != nullptr && line.value.empty()) {
        return Message(N_("%s without a value"), {std::string(rule->name)});   // a known key: nothing to escape
    }
    const Message problem = rule->read != nullptr ? rule->read(line.value, into) : Message();
    if (problem.Empty() && !rule->repeats) {
        Keep(into, rule->name, line);
    }
    return problem;
}

}  // namespace

const ConfigValue* ConfigFile::Find(std::string_view key) const
{
    for (const Setting& setting : settings) {
        if (key == setting.key) {
            return &setting.value;
        }
    }
    return nullptr;
}

std::optional<int> SettingSeconds(std::string_view value)
{
    if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const int seconds = std::stoi(std::string(value));
    return seconds >= 1 && seconds <= 3600 ? std::optional<int>(seconds) : std::nullopt;
}

ConfigFile ParseConfigText(std::string_view text, const std::string& fileName, const DecisionLog& decisions)
{
    ConfigFile file;
    file.path = fileName;
    int ignored = 0;
    for (const ConfigLine& line : ConfigLines(text)) {
        const Message problem = ReadLine(line, file);
        if (problem.Empty() && line.kind == ConfigLine::Kind::Setting) {
            decisions([&] {
                return SafeText(fileName) + ":" + std::to_string(line.number) + ": " + Shown(line.key) + " = " +
                       Shown(line.value);
            });
        }
        if (!problem.Empty() && ++ignored <= kMaxLineWarnings) {
            file.warnings.push_back(
                Message(N_("%s:%s: %s; line ignored"), {SafeText(fileName), std::to_string(line.number), problem}));
        }
    }
    if (ignored > kMaxLineWarnings) {
        const int more = ignored - kMaxLineWarnings;
        file.warnings.push_back(Message::Count("%s: %d more line ignored", "%s: %d more lines ignored",
                                               static_cast<unsigned long>(more),
                                               {SafeText(fileName), std::to_string(more)}));
    }
    return file;
}

bool ConfigFileBytes(const std::string& path, std::string& text, std::vector<Message>& warnings)
{
    text.clear();
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (path.empty() || status.type() == std::filesystem::file_type::not_found) {
        return true;
    }
    if (error || status.type() != std::filesystem::file_type::regular) {
        warnings.push_back(Message(N_("cannot read %s: %s"),
                                   {SafeText(path), error ? MessageArg(error.message()) : MessageArg(Message(N_("not a file")))}));
        return false;
    }
    if (std::filesystem::file_size(path, error) > kMaxConfigFileBytes) {
        warnings.push_back(Message(N_("%s is ignored: it is larger than %d KiB"),
                                   {SafeText(path), std::to_string(kMaxConfigFileBytes / 1024)}));
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        warnings.push_back(Message(N_("cannot read %s: %s"), {SafeText(path), std::string(std::strerror(errno))}));
        return false;
    }
    // Read through the bound only, should the file have grown since.
    text.assign(static_cast<size_t>(kMaxConfigFileBytes), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return true;
}

ConfigFile ReadConfigFile(const std::string& path, const DecisionLog& decisions)
{
    std::string text;
    std::vector<Message> warnings;
    if (!ConfigFileBytes(path, text, warnings) || text.empty()) {
        ConfigFile unread;
        unread.path = path;
        unread.warnings = std::move(warnings);
        return unread;
    }
    ConfigFile file = ParseConfigText(text, path, decisions);
    file.choice.origin = Message::Raw(SafeText(path));
    return file;
}
