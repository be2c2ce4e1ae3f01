// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-grant-access VVVV:PPPP [GROUP]: the privileged helper behind
// `zentrix-update --grant-access`, run as root through pkexec. Writes the
// udev rule for exactly that calculator model and nothing else, in a file
// of its own (other models keep theirs), with GROUP that group may open it
// too; refuses IDs that are a hub's;
// then reloads
// udev and replays the add event of the devices with those IDs so that the
// rule takes hold without unplugging. The model is also named by a
// `usb-id` line in the machine's configuration file, where the station
// looks for it, when no line names it yet.
//
// For tests, ZENTRIX_UDEV_RULES_DIR, ZENTRIX_UDEVADM, ZENTRIX_USB_DEVICES_DIR
// and ZENTRIX_MACHINE_CONFIG_DIR name the rules folder, the udevadm program,
// the folder of USB devices and the configuration folder in place of
// /etc/udev/rules.d, the system's, /sys/bus/usb/devices and
// /etc/zentrix-update;
// pkexec starts the helper with an environment of its own, without them.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "machine_config.h"
#include "udev_rule.h"

namespace {

enum ExitCode { kGranted = 0, kNotRoot = 1, kBadArgument = 2, kNotWritten = 3, kUdevFailed = 4, kNotACalculator = 5 };

std::string FromEnvironment(const char* name, const char* otherwise)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

std::string SystemUdevadm()
{
    return access("/usr/bin/udevadm", X_OK) == 0 ? "/usr/bin/udevadm" : "/bin/udevadm";
}

}  // namespace

int main(int argc, char** argv)
{
    if (geteuid() != 0) {
        std::cerr << "zentrix-grant-access: must be run as root (zentrix-update --grant-access runs it "
                     "through pkexec); nothing written\n";
        return kNotRoot;
    }
    if (argc < 2 || argc > 3 || !IsUsbIdArgument(argv[1]) || (argc == 3 && !IsGroupNameArgument(argv[2]))) {
        std::cerr << "usage: zentrix-grant-access VVVV:PPPP [GROUP] (four lower-case hex digits each; a group's "
                     "name); nothing written\n";
        return kBadArgument;
    }
    const std::string id = argv[1];
    const std::string group = argc == 3 ? argv[2] : "";
    const std::string refusal = RefusalOf(id, FromEnvironment("ZENTRIX_USB_DEVICES_DIR", "/sys/bus/usb/devices"));
    if (!refusal.empty()) {
        std::cerr << "zentrix-grant-access: " << refusal << "\n";
        return kNotACalculator;
    }
    const std::string dir = FromEnvironment("ZENTRIX_UDEV_RULES_DIR", "/etc/udev/rules.d");
    const std::string name = RuleFileName(id);
    const std::string written = WriteRuleFile(dir, name, UdevRuleText(id, group));
    if (!written.empty()) {
        std::cerr << "zentrix-grant-access: " << written << "\n";
        return kNotWritten;
    }
    const std::string config =
        FromEnvironment("ZENTRIX_MACHINE_CONFIG_DIR", "/etc/zentrix-update") + std::string("/zentrix-update.conf");
    bool added = false;
    const std::string notNamed = AddUsbIdLine(config, id, added);
    if (!notNamed.empty()) {
        std::cerr << "zentrix-grant-access: " << dir << "/" << name << " written, but " << notNamed
                  << "; add the line usb-id = " << id << " to " << config << " for the station\n";
        return kNotWritten;
    }
    if (added) {
        std::cout << "zentrix-grant-access: usb-id = " << id << " added to " << config << "\n";
    }
    const std::string udevadm = FromEnvironment("ZENTRIX_UDEVADM", SystemUdevadm().c_str());
    std::string failed = RunCommand(udevadm, {"control", "--reload"});
    if (failed.empty()) {
        failed = RunCommand(udevadm, {"trigger", "--action=add", "--subsystem-match=usb",
                                      "--attr-match=idVendor=" + id.substr(0, 4),
                                      "--attr-match=idProduct=" + id.substr(5, 4)});
    }
    if (!failed.empty()) {
        std::cerr << "zentrix-grant-access: " << dir << "/" << name << " written, but " << failed
                  << "; plug the calculator in again\n";
        return kUdevFailed;
    }
    std::cout << "zentrix-grant-access: " << dir << "/" << name << " written for " << id << "\n";
    return kGranted;
}
