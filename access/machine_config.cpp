// SPDX-License-Identifier: GPL-3.0-or-later
#include "machine_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "shell/startup/config_lines.h"
#include "udev_rule.h"

namespace {

// A configuration file larger than this is not one the program wrote or a
// person keeps: it is left alone.
constexpr size_t kMaxConfigBytes = 1 << 20;

std::string Lowered(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The file's text; false with `why` when it is there but cannot be read,
// is a link or is too large. A missing file reads as empty.
bool ReadConfig(const std::string& file, std::string& text, std::string& why)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return true;
        }
        why = errno == ELOOP ? file + " is a link; nothing written" : "cannot read " + file + ": " + std::strerror(errno);
        return false;
    }
    struct stat info = {};
    bool read = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!read) {
        why = file + " is not a plain file; nothing written";
    }
    char buffer[4096];
    while (read) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || text.size() + static_cast<size_t>(n) > kMaxConfigBytes) {
            why = n < 0 ? "cannot read " + file + ": " + std::strerror(errno) : file + " is too large; nothing written";
            read = false;
        } else if (n == 0) {
            break;
        } else {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    return read;
}

}  // namespace

bool NamesUsbId(const std::string& configText, const std::string& id)
{
    for (const ConfigLine& line : ConfigLines(configText)) {
        if (line.kind == ConfigLine::Kind::Setting && line.key == "usb-id" && Lowered(std::string(line.value)) == id) {
            return true;
        }
    }
    return false;
}

std::string AddUsbIdLine(const std::string& file, const std::string& id, bool& added)
{
    added = false;
    std::string text;
    std::string why;
    if (!ReadConfig(file, text, why)) {
        return why;
    }
    if (NamesUsbId(text, id)) {
        return {};
    }
    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash);
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        return "cannot make " + dir + ": " + std::strerror(errno);
    }
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    text += "# The calculator model the station looks for (zentrix-update --grant-access).\n";
    text += "usb-id = " + id + "\n";
    const std::string written = WriteRuleFile(dir, file.substr(slash + 1), text);
    added = written.empty();
    return written;
}
