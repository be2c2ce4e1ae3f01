// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which calculators to look for, from the first of these that names any:
// the command line, the environment (ZENTRIX_DEVICES, ZENTRIX_USB_IDS), the
// user's configuration file, the machine's configuration file. That source
// wins whole; the others are not mixed in. The labels of both files count,
// whichever source names the devices. Of the other settings, the user's
// file wins over the machine's. (The files' keys: config_file.h.)
#include <optional>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_choice.h"
#include "device/device_listing.h"
#include "i18n/message.h"
#include "shell/startup/config_file.h"

struct ConfigRead {
    ConfigFile user;
    ConfigFile machine;
};

// What start-up found out about the sources. Environment values are as
// getenv gives them (null when unset).
struct DeviceSources {
    std::vector<std::string> commandLineDevices;
    std::vector<std::string> commandLineUsbIds;
    const char* environmentDevices = nullptr;
    const char* environmentUsbIds = nullptr;
    std::string userFile;      // empty when there is no place for one
    std::string machineFile;
    // The two files as read once (ReadConfigFiles); null: each function
    // below reads them when it is called.
    std::shared_ptr<const ConfigRead> read;
    // Where the lines read and the choice of devices are told.
    DecisionLog decisions;
};

// Reads the user's and the machine's configuration files, each once.
ConfigRead ReadConfigFiles(const DeviceSources& sources);

struct ResolvedDevices {
    DeviceChoice choice;                 // names no device when nothing is configured
    std::vector<Message> warnings;   // one line each, without a line feed
};

// What a file's `system-log` line says; nothing when it has none.
std::optional<bool> SystemLogSetting(const ConfigFile& file);
// Whether runs go to the system log: the user's file decides when it says,
// else the machine's; on when neither does.
bool SystemLogWanted(const DeviceSources& sources);
// Whether the file that decides says `system-log = syslog`: runs go to
// syslog even where a journal listens.
bool SystemLogToSyslogOnly(const DeviceSources& sources);

// The silence limit in ms the configuration files set with reply-timeout:
// the user's file when it says, else the machine's; nothing when neither does.
std::optional<uint32_t> ConfiguredSilenceLimitMs(const DeviceSources& sources);
// The image-sha256 of the user's file, else the machine's, as written.
std::optional<std::string> ConfiguredImagePin(const DeviceSources& sources);
// The value of `key` (one that does not repeat) in the user's file, else the machine's.
std::optional<std::string> ConfiguredSetting(const DeviceSources& sources, const char* key);

// Picks the first source that names any device, and takes the labels of
// both configuration files.
ResolvedDevices ResolveDevices(const DeviceSources& sources);
// The `label` lines of the user's file, then of the machine's.
std::vector<DeviceLabel> ConfiguredLabels(const DeviceSources& sources);

// Where the configuration files are, from the environment's values (each may
// be null). The user's: $XDG_CONFIG_HOME (else $HOME/.config) on Linux,
// `appData` on Windows (%LOCALAPPDATA%: a COM port is this computer's); the machine's: `machineDir` when given, else
// /etc/zentrix-update on Linux and %PROGRAMDATA% on Windows. Both end in
// zentrix-update/zentrix-update.conf, except a given `machineDir`, which
// holds zentrix-update.conf itself.
std::string UserConfigFile(const char* xdgConfigHome, const char* home, const char* appData);
std::string MachineConfigFile(const char* machineDir, const char* programData);
// A user's file that an older version kept in the roaming profile moves to
// `localFile` once, unless a file is there already (the local one counts);
// empty when done or nothing was to be done, else why not.
Message MoveRoamingConfig(const std::string& roamingFile, const std::string& localFile);

// The one line said before anything is asked when no source names a
// calculator: what to set, with an example, where the user's file is, and
// the devices that could be the calculator (one description each).
Message NothingConfiguredLine(const std::string& userFile, const std::vector<Message>& candidates);

// What the device chooser's picks mean: the devices to use now, and the
// configuration lines that find them again (a USB calculator by its IDs, as
// its address changes from one plugging to the next; anything else by path).
struct ChosenCandidates {
    DeviceChoice choice;
    std::vector<std::string> rememberLines;
};
ChosenCandidates TakeChosen(const std::vector<ListedDevice>& candidates, const std::vector<size_t>& chosen);

// Adds the line `label = DEVICE = NAME` to the configuration file `file`
// (NAME with its control characters as spaces), and `asset-tag = DEVICE =
// TAG` when a tag is given, in one change; empty on success, else why not.
std::string TypedLabel(const std::string& name);
Message RememberLabel(const std::string& file, const std::string& device, const std::string& name,
                      const std::string& assetTag = std::string());

// Adds `lines` to the configuration file `file` (config_writer.h), making
// its folder when needed; empty on success, else why not.
Message RememberDevices(const std::string& file, const std::vector<std::string>& lines,
                        const char* comment = "# remembered by the device chooser");
