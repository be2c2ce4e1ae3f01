// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-grant-access VVVV:PPPP: the privileged helper behind
// `zentrix-update --grant-access`, run as root through pkexec. Writes the
// udev rule for exactly that calculator model and nothing else, then reloads
// udev and replays the add event of the devices with those IDs so that the
// rule takes hold without unplugging.
//
// For tests, ZENTRIX_UDEV_RULES_DIR and ZENTRIX_UDEVADM name the rules folder
// and the udevadm program in place of /etc/udev/rules.d and the system's;
// pkexec starts the helper with an environment of its own, without them.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "udev_rule.h"

namespace {

enum ExitCode { kGranted = 0, kNotRoot = 1, kBadArgument = 2, kNotWritten = 3, kUdevFailed = 4 };

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
    if (argc != 2 || !IsUsbIdArgument(argv[1])) {
        std::cerr << "usage: zentrix-grant-access VVVV:PPPP (four lower-case hex digits each); nothing written\n";
        return kBadArgument;
    }
    const std::string id = argv[1];
    const std::string dir = FromEnvironment("ZENTRIX_UDEV_RULES_DIR", "/etc/udev/rules.d");
    const std::string written = WriteRuleFile(dir, UdevRuleText(id));
    if (!written.empty()) {
        std::cerr << "zentrix-grant-access: " << written << "\n";
        return kNotWritten;
    }
    const std::string udevadm = FromEnvironment("ZENTRIX_UDEVADM", SystemUdevadm().c_str());
    std::string failed = RunCommand(udevadm, {"control", "--reload"});
    if (failed.empty()) {
        failed = RunCommand(udevadm, {"trigger", "--action=add", "--subsystem-match=usb",
                                      "--attr-match=idVendor=" + id.substr(0, 4),
                                      "--attr-match=idProduct=" + id.substr(5, 4)});
    }
    if (!failed.empty()) {
        std::cerr << "zentrix-grant-access: " << dir << "/" << kRuleFileName << " written, but " << failed
                  << "; plug the calculator in again\n";
        return kUdevFailed;
    }
    std::cout << "zentrix-grant-access: " << dir << "/" << kRuleFileName << " written for " << id << "\n";
    return kGranted;
}
