// SPDX-License-Identifier: GPL-3.0-or-later
// Device identities on Linux: the device number, else the resolved path.
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

#include "device/device_identity.h"

std::string DeviceIdentity(const std::string& path)
{
    struct stat st {};
    if (path.rfind("usb:", 0) == 0 || ::stat(path.c_str(), &st) != 0) {
        return "path " + path;
    }
    if (S_ISCHR(st.st_mode)) {
        return "device " + std::to_string(static_cast<unsigned long long>(st.st_rdev));
    }
    const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr), &::free);
    return resolved != nullptr ? "file " + std::string(resolved.get()) : "path " + path;
}

bool DevicePresent(const std::string& path)
{
    struct stat info = {};
    return path.rfind("usb:", 0) == 0 || stat(path.c_str(), &info) == 0;
}
