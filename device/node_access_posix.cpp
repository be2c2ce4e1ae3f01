// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/node_access.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "device/device_path.h"
#include "device/safe_text.h"

namespace {

std::string GroupName(gid_t gid)
{
    const struct group* found = getgrgid(gid);
    return found != nullptr ? std::string(found->gr_name) : std::to_string(gid);
}

}  // namespace

std::string NodeAccessText(const std::string& path)
{
    std::string node = path;
    uint8_t bus = 0;
    uint8_t address = 0;
    if (ParseUsbDevicePath(path.c_str(), bus, address)) {
        char name[32];
        std::snprintf(name, sizeof name, "/dev/bus/usb/%03u/%03u", static_cast<unsigned>(bus), static_cast<unsigned>(address));
        node = name;
    }
    struct stat info = {};
    if (stat(node.c_str(), &info) != 0) {
        return SafeText(node) + " cannot be looked at";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    std::string text = SafeText(node) + " is owner " + std::to_string(info.st_uid) + ", group " + GroupName(info.st_gid) +
                       ", mode " + mode + "; this process is user " + std::to_string(geteuid()) + ", groups";
    gid_t groups[64];
    const int count = getgroups(64, groups);
    text += " " + GroupName(getegid());
    for (int i = 0; i < count; ++i) {
        if (groups[i] != getegid()) {
            text += " " + GroupName(groups[i]);
        }
    }
    return text;
}
