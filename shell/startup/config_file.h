// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration files' one reader. A file holds `key = value` lines,
// blank lines and `#` comments. Its keys, each in the one table of the
// reader:
//   device         a device path, or a usb-serial: or usb-port: name
//                  (device_labels.h); repeats
//   usb-id         VVVV:PPPP, a calculator model to look for; repeats
//   label          DEVICE = NAME, the name shown for that calculator; repeats
//   system-log     on, off or syslog: whether each run also goes to the
//                  system log, and whether to syslog even where a journal is
//   reply-timeout  whole seconds of calculator silence that end a run (0: none)
//   image-folder   the folder of the images (the user's last choice; the
//                  station's folder in the machine's file)
//   image-sha256   the fingerprint the OS image must have (checked at start-up)
//   metrics-file   where the state for monitoring is kept (run_metrics.h)
//   on-run-end, on-set-end, hook-timeout  the commands run after each record
//                  and each set, and how long they may take
//   notify         on or off: the set's end as a desktop notification
//   confirm        on or off: updated calculators read back after their restart
//   confirm-timeout  whole seconds a restarting calculator is waited for
// Of a key that does not repeat, the last line that is well formed counts.
// A line that cannot be read is a warning naming the file and the line; the
// rest of the file still counts.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/decision_log.h"
#include "device/device_choice.h"
#include "i18n/message.h"

// The largest configuration file read: a few lines of keys and values,
// never a file that takes memory or time to read.
inline constexpr std::uintmax_t kMaxConfigFileBytes = 64 * 1024;

// A setting's value as written, and the line that set it.
struct ConfigValue {
    std::string value;
    int line = 0;
};

// A configuration file as read once: what its lines say, and the warnings
// about it (a file that cannot be read, lines that are not read).
struct ConfigFile {
    std::string path;
    DeviceChoice choice;             // its devices and labels; origin: the file, when it was read
    std::vector<Message> warnings;
    struct Setting {
        const char* key;
        ConfigValue value;
    };
    std::vector<Setting> settings;   // of the keys that do not repeat, one each

    // The value a key that does not repeat has in this file; null when none.
    const ConfigValue* Find(std::string_view key) const;
};

// Reads the file at `path` (through a link, should it be one), within
// kMaxConfigFileBytes. A file that does not exist reads as empty, without a
// warning.
ConfigFile ReadConfigFile(const std::string& path, const DecisionLog& decisions = {});
// Reads a configuration file's text; `fileName` names it in the warnings.
// A hook-timeout or confirm-timeout value: whole seconds from 1 to 3600;
// nothing when it is not one.
std::optional<int> SettingSeconds(std::string_view value);

ConfigFile ParseConfigText(std::string_view text, const std::string& fileName,
                           const DecisionLog& decisions = {});

// The file's bytes, for a writer that keeps its lines: false with a warning
// when it is there but cannot be read or is too large; empty when missing.
bool ConfigFileBytes(const std::string& path, std::string& text, std::vector<Message>& warnings);
