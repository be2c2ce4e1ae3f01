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

#include "device/device_labels.h"
#include "device/device_source.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/startup/reply_timeout.h"

namespace {

constexpr const char* kConfigName = "zentrix-update.conf";
constexpr const char* kSystemLogKey = "system-log";
constexpr const char* kReplyTimeoutKey = "reply-timeout";
constexpr const char* kImagePinKey = "image-sha256";
// Bounds of a configuration file's lines and of what its warnings echo.
constexpr size_t kMaxLineChars = 1024;
constexpr size_t kShownValueChars = 60;   // of a key or value echoed in a warning
constexpr int kMaxLineWarnings = 10;      // per file; the rest are counted

std::string Shown(const std::string& text)
{
    return SafeText(text, kShownValueChars);
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
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

// Why a `label = DEVICE = NAME` line's value is not read; empty when it was.
Message ReadLabel(const std::string& value, DeviceChoice& choice)
{
    const size_t equals = value.find('=');
    const std::string device = equals == std::string::npos ? std::string() : Trimmed(value.substr(0, equals));
    const std::string name = equals == std::string::npos ? std::string() : Trimmed(value.substr(equals + 1));
    if (device.empty() || name.empty()) {
        return Message(N_("a label line is label = DEVICE = NAME, not label = %s"), {Shown(value)});
    }
    choice.labels.push_back({device, SafeText(name, kLabelChars)});
    return {};
}

// Why a line is not read; empty when it was.
Message ReadLine(const std::string& line, DeviceChoice& choice)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return Message(N_("not a key = value line"));
    }
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = Trimmed(line.substr(equals + 1));
    if (key == "image-folder") {
        return {};   // the image folder last chosen, not a calculator
    }
    if (key == kImagePinKey) {
        return {};   // the pinned OS image, read (and refused when malformed) at start-up
    }
    if (key != "device" && key != "usb-id" && key != "label" && key != kSystemLogKey && key != kReplyTimeoutKey) {
        return Message(N_("unknown key \"%s\" (known: device, usb-id, label, system-log, reply-timeout, image-folder, image-sha256)"),
                       {Shown(key)});
    }
    if (value.empty()) {
        return Message(N_("%s without a value"), {key});   // a known key: nothing to escape
    }
    if (key == kSystemLogKey) {
        return value == "on" || value == "off"
                   ? Message()
                   : Message(N_("system-log is on or off, not %s"), {Shown(value)});
    }
    if (key == kReplyTimeoutKey) {
        return ParseSilenceSeconds(value) ? Message()
                                          : Message(N_("reply-timeout is a whole number of seconds, not %s"),
                                                    {Shown(value)});
    }
    if (key == "device") {
        if (value == kUsbSerialPrefix || value == kUsbPortPrefix) {
            // Names nothing, and is no file to be tried either.
            return Message(N_("device = %s names no calculator: a serial number or port follows the colon"),
                           {std::string(value)});
        }
        choice.paths.push_back(value);
        return {};
    }
    if (key == "label") {
        return ReadLabel(value, choice);
    }
    const std::string id = NormalizedUsbId(value);
    if (id.empty()) {
        return Message(N_("usb-id %s is not a VVVV:PPPP pair of four hex digits each"), {Shown(value)});
    }
    choice.usbIds.push_back(id);
    return {};
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

// The file's text, within its bound; nothing, without a word, when the file
// does not exist.
std::optional<std::string> ConfigText(const std::string& file, std::vector<Message>& warnings)
{
    if (file.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return {};
    }
    if (error || status.type() != std::filesystem::file_type::regular) {
        warnings.push_back(Message(N_("cannot read %s: %s"),
                                   {SafeText(file), error ? MessageArg(error.message()) : MessageArg(Message(N_("not a file")))}));
        return {};
    }
    if (std::filesystem::file_size(file, error) > kMaxConfigFileBytes) {
        warnings.push_back(Message(N_("%s is ignored: it is larger than %d KiB"),
                                   {SafeText(file), std::to_string(kMaxConfigFileBytes / 1024)}));
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        warnings.push_back(Message(N_("cannot read %s: %s"), {SafeText(file), std::string(std::strerror(errno))}));
        return {};
    }
    // Read through the bound only, should the file have grown since.
    std::string text(static_cast<size_t>(kMaxConfigFileBytes), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

ConfigFile ReadConfigFile(const std::string& file)
{
    ConfigFile read;
    if (const std::optional<std::string> text = ConfigText(file, read.warnings)) {
        read.choice = ParseDeviceConfig(*text, file, read.warnings);
        read.choice.origin = Message::Raw(SafeText(file));
        read.systemLog = SystemLogSetting(*text);
        read.replyTimeout = LastConfigValue(*text, kReplyTimeoutKey);
        read.imagePin = LastConfigValue(*text, kImagePinKey);
    }
    return read;
}

// The labels of the user's file, then of the machine's.
std::vector<DeviceLabel> LabelsOf(const ConfigRead& files)
{
    std::vector<DeviceLabel> labels = files.user.choice.labels;
    labels.insert(labels.end(), files.machine.choice.labels.begin(), files.machine.choice.labels.end());
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

// The first source that names any device; the warnings of the files it
// came to.
ResolvedDevices ResolveDeviceSource(const DeviceSources& sources, const ConfigRead& files)
{
    ResolvedDevices resolved;
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
        resolved.warnings.insert(resolved.warnings.end(), file->warnings.begin(), file->warnings.end());
        if (choice.NamesAnyDevice()) {
            return resolved;
        }
    }
    choice = DeviceChoice();
    return resolved;
}

}  // namespace

DeviceChoice ParseDeviceConfig(const std::string& text, const std::string& fileName,
                               std::vector<Message>& warnings)
{
    DeviceChoice choice;
    std::istringstream in(text);
    std::string line;
    int ignored = 0;
    for (int number = 1; std::getline(in, line); ++number) {
        const bool tooLong = line.size() > kMaxLineChars;
        line = Trimmed(line);
        if (!tooLong && (line.empty() || line[0] == '#')) {
            continue;
        }
        const Message problem = tooLong ? Message(N_("longer than %d characters"), {std::to_string(kMaxLineChars)})
                                        : ReadLine(line, choice);
        if (!problem.Empty() && ++ignored <= kMaxLineWarnings) {
            warnings.push_back(Message(N_("%s:%s: %s; line ignored"), {SafeText(fileName), std::to_string(number), problem}));
        }
    }
    if (ignored > kMaxLineWarnings) {
        const int more = ignored - kMaxLineWarnings;
        warnings.push_back(Message::Count("%s: %d more line ignored", "%s: %d more lines ignored",
                                          static_cast<unsigned long>(more), {SafeText(fileName), std::to_string(more)}));
    }
    return choice;
}

std::optional<std::string> LastConfigValue(const std::string& text, const char* key)
{
    std::optional<std::string> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && Trimmed(line.substr(0, equals)) == key) {
            found = Trimmed(line.substr(equals + 1));
        }
    }
    return found;
}

std::optional<bool> SystemLogSetting(const std::string& text)
{
    std::optional<bool> setting;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && Trimmed(line.substr(0, equals)) == kSystemLogKey) {
            const std::string value = Trimmed(line.substr(equals + 1));
            setting = value == "on" ? std::optional<bool>(true) : value == "off" ? std::optional<bool>(false) : setting;
        }
    }
    return setting;
}

ConfigRead ReadConfigFiles(const DeviceSources& sources)
{
    return {ReadConfigFile(sources.userFile), ReadConfigFile(sources.machineFile)};
}

bool SystemLogWanted(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    return files.user.systemLog.value_or(files.machine.systemLog.value_or(true));
}

std::optional<uint32_t> ConfiguredSilenceLimitMs(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    for (const ConfigFile* file : {&files.user, &files.machine}) {
        const std::optional<std::string>& value = file->replyTimeout;
        if (const std::optional<uint32_t> ms = value ? ParseSilenceSeconds(*value) : std::nullopt) {
            return ms;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ConfiguredImagePin(const DeviceSources& sources)
{
    std::optional<ConfigRead> now;
    const ConfigRead& files = FilesOf(sources, now);
    return files.user.imagePin ? files.user.imagePin : files.machine.imagePin;
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
    resolved.choice.labels = LabelsOf(files);
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

Message RememberLabel(const std::string& file, const std::string& device, const std::string& name)
{
    const std::string line = TypedLabel(name);
    if (line.empty() || device.find('\n') != std::string::npos) {
        return Message(N_("a label needs a name"));
    }
    return RememberDevices(file, {"label = " + device + " = " + line}, "# named in the window");
}

Message RememberDevices(const std::string& file, const std::vector<std::string>& lines, const char* comment)
{
    if (file.empty()) {
        return Message(N_("there is no place for the configuration file (HOME is not set)"));
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    if (error) {
        return Message(N_("cannot make the folder of %s: %s"), {file, error.message()});
    }
    std::ofstream out(file, std::ios::app);
    out << comment << '\n';
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    out.flush();
    return out ? Message() : Message(N_("cannot write %s: %s"), {file, std::string(std::strerror(errno))});
}
