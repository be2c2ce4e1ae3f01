// SPDX-License-Identifier: GPL-3.0-or-later
#include "udev_rule.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool IsLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Closes the descriptor and removes the temporary file unless it was put in
// place.
class CTemporaryFile {
public:
    explicit CTemporaryFile(std::string pattern) : m_path(std::move(pattern))
    {
        m_fd = mkstemp(m_path.data());
    }
    ~CTemporaryFile()
    {
        Close();
        if (!m_kept && m_fd != -2) {
            unlink(m_path.c_str());
        }
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    bool Close()
    {
        const bool closed = m_fd < 0 || close(m_fd) == 0;
        m_fd = m_fd < 0 ? m_fd : -1;
        return closed;
    }
    void Keep() { m_kept = true; }

private:
    std::string m_path;
    int m_fd = -2;
    bool m_kept = false;
};

bool WriteAll(int fd, const std::string& text)
{
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

// The first line of a sysfs attribute file, without its line feed; empty
// when it cannot be read.
std::string Attribute(const std::string& device, const char* name)
{
    char text[32] = {};
    const int fd = open((device + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    std::string value(text, n > 0 ? static_cast<size_t>(n) : 0);
    return value.substr(0, value.find('\n'));
}

std::string Reason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

}  // namespace

bool IsUsbIdArgument(const std::string& text)
{
    if (text.size() != 9 || text[4] != ':') {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && !IsLowerHex(text[i])) {
            return false;
        }
    }
    return true;
}

std::string RuleFileName(const std::string& id)
{
    return "60-zentrix-calculator-" + id.substr(0, 4) + "-" + id.substr(5, 4) + ".rules";
}

std::string RefusalOf(const std::string& id, const std::string& usbDevicesDir)
{
    if (id == "0000:0000") {
        return "0000:0000 are no device's IDs; nothing written";
    }
    if (id.compare(0, 5, "1d6b:") == 0) {
        return id + " is a root hub (Linux Foundation), not a calculator; nothing written";
    }
    DIR* folder = opendir(usbDevicesDir.c_str());
    if (folder == nullptr) {
        return {};
    }
    std::string refusal;
    while (const dirent* entry = readdir(folder)) {
        const std::string device = usbDevicesDir + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && Attribute(device, "idVendor") == id.substr(0, 4) &&
            Attribute(device, "idProduct") == id.substr(5, 4) && Attribute(device, "bDeviceClass") == "09") {
            refusal = id + " is a USB hub, not a calculator; nothing written";
            break;
        }
    }
    closedir(folder);
    return refusal;
}

bool IsGroupNameArgument(const std::string& text)
{
    if (text.empty() || text.size() > 32 || !((text[0] >= 'a' && text[0] <= 'z') || text[0] == '_')) {
        return false;
    }
    for (char c : text) {
        if (!(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9') && c != '_' && c != '-') {
            return false;
        }
    }
    return true;
}

std::string UdevRuleText(const std::string& id, const std::string& group)
{
    const std::string vendor = id.substr(0, 4);
    const std::string product = id.substr(5, 4);
    const std::string who = group.empty() ? "the user at the seat" : "the user at the seat and group " + group;
    const std::string groupAccess = group.empty() ? "" : "GROUP=\"" + group + "\", MODE=\"0660\", ";
    return "# Written by zentrix-update --grant-access " + id + (group.empty() ? "" : " --group " + group) +
           ": lets " + who + " open\n"
           "# this Zentrix calculator over USB, and keeps ModemManager off it.\n"
           "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"" +
           vendor + "\", ATTR{idProduct}==\"" + product + "\", TAG+=\"uaccess\", " + groupAccess +
           "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
}

std::string WriteRuleFile(const std::string& dir, const std::string& name, const std::string& text)
{
    const std::string target = dir + "/" + name;
    CTemporaryFile temporary(dir + "/." + name + ".XXXXXX");
    if (!temporary.IsOpen()) {
        return Reason("cannot write in " + dir);
    }
    if (!WriteAll(temporary.Fd(), text) || fchmod(temporary.Fd(), 0644) != 0 || fsync(temporary.Fd()) != 0) {
        return Reason("cannot write " + temporary.Path());
    }
    if (!temporary.Close()) {
        return Reason("cannot write " + temporary.Path());
    }
    if (rename(temporary.Path().c_str(), target.c_str()) != 0) {
        return Reason("cannot put " + target + " in place");
    }
    temporary.Keep();
    return {};
}

std::string RunCommand(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> texts = arguments;
    texts.insert(texts.begin(), program);
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), noEnvironment);
    if (spawned != 0) {
        return "cannot run " + program + ": " + std::strerror(spawned);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return Reason("cannot wait for " + program);
        }
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    std::string command = program;
    for (const std::string& argument : arguments) {
        command += " " + argument;
    }
    return command + (WIFEXITED(status) ? " exited with " + std::to_string(WEXITSTATUS(status)) : " was killed");
}
