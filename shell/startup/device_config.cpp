// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/device_config.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "device/decision_log.h"
#include "device/device_labels.h"
#include "device/device_source.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/startup/config_lines.h"
#include "shell/startup/config_writer.h"
#include "shell/startup/reply_timeout.h"

namespace {

constexpr const char* kConfigName = "zentrix-update.conf";

std::string Trimmed(const std::string& text)
{
    return std::string(TrimmedConfigText(text));
}

std::vector<std::string> Split(const char* text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text == nullptr ? "" : text);
    while (std::getline(in, part, separator)) {
        part = Trimmed(part);
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

DeviceChoice FromEnvironment(const DeviceSources& sources)
{
    DeviceChoice choice;
    choice.paths = Split(sources.environmentDevices, ';');
    for (const std::string& entry : Split(sources.environmentUsbIds, ',')) {
        const std::string id = NormalizedUsbId(entry);
        if (!id.empty()) {
            choice.usbIds.push_back(id);   // malformed entries are skipped, as ever
        }
    }
    choice.origin = Message(N_("the environment (ZENTRIX_DEVICES, ZENTRIX_USB_IDS)"));
    return choice;
}

// The labels (or asset tags) of the user's file, then of the machine's.
std::vector<DeviceLabel> LabelsOf(const ConfigRead& files,
                                  std::vector<DeviceLabel> DeviceChoice::*which = &DeviceChoice::labels)
{
    std::vector<DeviceLabel> labels = files.user.choice.*which;
    const std::vector<DeviceLabel>& machine = files.machine.choice.*which;
    labels.insert(labels.end(), machine.begin(), machine.end());
    return labels;
}

// The files as `sources` holds them read, else read now into `now`.
const ConfigRead& FilesOf(const DeviceSources& sources, std::optional<ConfigRead>& now)
{
    return sources.read ? *sources.read : now.emplace(ReadConfigFiles(sources));
}

std::string Joined(const std::string& dir, const std::string& name)
{
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    return dir.empty() || dir.back() == separator ? dir + name : dir + separator + name;
}

// The first source that names any device, and the warnings of both files:
// their labels, tags and settings are taken whichever source names the
// devices, so a line of theirs that is not read is said in any case.
ResolvedDevices ResolveDeviceSource(const DeviceSources& sources, const ConfigRead& files)
{
    ResolvedDevices resolved;
    for (const ConfigFile* file : {&files.user, &files.machine}) {
        resolved.warnings.insert(resolved.warnings.end(), file->warnings.begin(), file->warnings.end());
    }
    DeviceChoice& choice = resolved.choice;
    choice.paths = sources.commandLineDevices;
    choice.usbIds = sources.commandLineUsbIds;
    choice.origin = Message(N_("the command line (--device, --usb-id)"));
    if (choice.NamesAnyDevice()) {
        return resolved;
    }
    choice = FromEnvironment(sources);
    if (choice.NamesAnyDevice()) {
        return resolved;
    }
    for (const ConfigFile* file : {&files.user, &files.machine}) {
        choice = file->choice;
        if (choice.NamesAnyDevice()) {
            return resolved;
        }
    }
    choice = DeviceChoice();
    return resolved;
}

}  // namespace

std::optional<bool> SystemLogSetting(const ConfigFile& file)
{
    const ConfigValue* value = file.Find("system-log");
    return value == nullptr ? std::nullopt : std::optional<bool>(value->value != "off");
}

ConfigRead ReadConfigFiles(const DeviceSources& sources)
{
    return {ReadConfigFile(sources.userFile, sources.decisions), ReadConfigFile(sources.machineFile, sources.decisions)};
}

bool SystemLogWanted(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    return SystemLogSetting(files.user).value_or(SystemLogSetting(files.machine).value_or(true));
}

bool SystemLogToSyslogOnly(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    const ConfigValue* deciding = files.user.Find("system-log");
    deciding = deciding != nullptr ? deciding : files.machine.Find("system-log");
    return deciding != nullptr && deciding->value == "syslog";
}

std::optional<uint32_t> ConfiguredSilenceLimitMs(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    for (const ConfigFile* file : {&files.user, &files.machine}) {
        if (const ConfigValue* value = file->Find("reply-timeout")) {
            return ParseSilenceSeconds(value->value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ConfiguredImagePin(const DeviceSources& sources)
{
    return ConfiguredSetting(sources, "image-sha256");
}

std::optional<std::string> ConfiguredSetting(const DeviceSources& sources, const char* key)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    for (const ConfigFile* file : {&files.user, &files.machine}) {
        if (const ConfigValue* value = file->Find(key)) {
            return value->value;
        }
    }
    return std::nullopt;
}

std::vector<DeviceLabel> ConfiguredLabels(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    return LabelsOf(FilesOf(sources, now));
}

ResolvedDevices ResolveDevices(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    ResolvedDevices resolved = ResolveDeviceSource(sources, files);
    sources.decisions([&] {
        const DeviceChoice& choice = resolved.choice;
        if (!choice.NamesAnyDevice()) {
            return std::string("no source names a calculator (command line, environment, ") + SafeText(sources.userFile) +
                   ", " + SafeText(sources.machineFile) + ")";
        }
        std::string named;
        for (const std::string& path : choice.paths) {
            named += " " + SafeText(path);
        }
        for (const std::string& id : choice.usbIds) {
            named += " usb-id " + id;
        }
        return "calculators looked for, from " + choice.origin.English() + ":" + named +
               " (the sources after it are not read for devices)";
    });
    resolved.choice.labels = LabelsOf(files);
    resolved.choice.assetTags = LabelsOf(files, &DeviceChoice::assetTags);
    return resolved;
}


std::string UserConfigFile(const char* xdgConfigHome, const char* home, const char* appData)
{
#ifdef _WIN32
    (void)xdgConfigHome;
    (void)home;
    if (appData == nullptr || *appData == '\0') {
        return {};
    }
    return Joined(Joined(appData, "zentrix-update"), kConfigName);
#else
    (void)appData;
    std::string dir;
    if (xdgConfigHome != nullptr && *xdgConfigHome == '/') {
        dir = xdgConfigHome;   // a relative one is to be ignored
    } else if (home != nullptr && *home != '\0') {
        dir = Joined(home, ".config");
    } else {
        return {};
    }
    return Joined(Joined(dir, "zentrix-update"), kConfigName);
#endif
}

std::string MachineConfigFile(const char* machineDir, const char* programData)
{
    if (machineDir != nullptr && *machineDir != '\0') {
        return Joined(machineDir, kConfigName);
    }
#ifdef _WIN32
    if (programData == nullptr || *programData == '\0') {
        return {};
    }
    return Joined(Joined(programData, "zentrix-update"), kConfigName);
#else
    (void)programData;
    return Joined("/etc/zentrix-update", kConfigName);
#endif
}

Message MoveRoamingConfig(const std::string& roamingFile, const std::string& localFile)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (roamingFile.empty() || localFile.empty() || roamingFile == localFile ||
        !fs::is_regular_file(fs::symlink_status(roamingFile, error)) || fs::exists(fs::symlink_status(localFile, error))) {
        return {};
    }
    fs::create_directories(fs::path(localFile).parent_path(), error);
    fs::rename(roamingFile, localFile, error);
    if (error) {
        // Another volume (a redirected profile): copied, then removed.
        error.clear();
        if (fs::copy_file(roamingFile, localFile, error)) {
            fs::remove(roamingFile, error);
        }
    }
    if (error) {
        return Message(N_("cannot move the configuration file %s to %s: %s"), {roamingFile, localFile, error.message()});
    }
    return {};
}

Message NothingConfiguredLine(const std::string& userFile, const std::vector<Message>& candidates)
{
    Message line(N_("no calculator is configured: %s"), {NothingConfiguredHint()});
    if (!userFile.empty()) {
        line = Message(N_("%s; the configuration file is %s"), {line, userFile});
    }
    if (!candidates.empty()) {
        Message listed = candidates[0];
        for (size_t i = 1; i < candidates.size(); ++i) {
            listed = Message("%s; %s", {listed, candidates[i]});
        }
        line = Message(N_("%s; it could be one of: %s"), {line, listed});
    }
    return line;
}

ChosenCandidates TakeChosen(const std::vector<ListedDevice>& candidates, const std::vector<size_t>& chosen)
{
    ChosenCandidates taken;
    taken.choice.origin = Message(N_("the device chooser"));
    for (const size_t index : chosen) {
        if (index >= candidates.size()) {
            continue;
        }
        const ListedDevice& device = candidates[index];
        taken.choice.paths.push_back(device.path);
        if (device.usb && device.found) {
            char id[16];
            std::snprintf(id, sizeof id, "%04x:%04x", device.vendor, device.product);
            taken.rememberLines.push_back(std::string("usb-id = ") + id);
        } else {
            taken.rememberLines.push_back("device = " + device.path);
        }
    }
    return taken;
}

std::string TypedLabel(const std::string& name)
{
    std::string line = name;
    for (char& c : line) {
        c = static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;   // one line, whatever was typed
    }
    return Trimmed(line);
}

Message RememberLabel(const std::string& file, const std::string& device, const std::string& name,
                      const std::string& assetTag)
{
    const std::string line = TypedLabel(name);
    if (line.empty() || device.find('\n') != std::string::npos) {
        return Message(N_("a label needs a name"));
    }
    std::vector<std::string> lines = {"label = " + device + " = " + line};
    if (const std::string tag = TypedLabel(assetTag); !tag.empty()) {
        lines.push_back("asset-tag = " + device + " = " + tag);
    }
    return ChangeConfigFile(file, {"# named in the window", lines});
}

Message RememberDevices(const std::string& file, const std::vector<std::string>& lines, const char* comment)
{
    return ChangeConfigFile(file, {comment, lines});
}
