// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/grant_access.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <vector>

#include "device/device_choice.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"

extern char** environ;

namespace {

// The helper installed beside this program (the path the package's polkit
// action names); ZENTRIX_GRANT_HELPER names another (tests).
std::string HelperPath()
{
    const char* path = std::getenv("ZENTRIX_GRANT_HELPER");
    if (path != nullptr && *path != '\0') {
        return path;
    }
    std::error_code error;
    const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", error);
    return std::filesystem::weakly_canonical(program.parent_path() / ZENTRIX_GRANT_HELPER_FROM_BIN, error).string();
}

int Run(std::vector<std::string> texts, const COwnLines& err)
{
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        err.Say(Message(N_("cannot run %s: %s"), {texts[0], std::string(std::strerror(spawned))}), OwnLineKind::Error);
        return 1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// A group name as useradd and groupadd take it, as the helper checks it.
bool IsGroupName(const std::string& name)
{
    if (name.empty() || name.size() > 32 || (name[0] >= '0' && name[0] <= '9') || name[0] == '-') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

}  // namespace

int GrantAccess(const std::string& id, const std::string& group, const COwnLines& err)
{
    const std::string normalized = NormalizedUsbId(id);
    if (normalized.empty()) {
        err.Say(Message(N_("--grant-access needs the calculator's USB IDs as VVVV:PPPP (four hex "
                           "digits each, as lsusb shows them), not \"%s\""),
                        {SafeText(id)}),
                OwnLineKind::Error);
        return 2;
    }
    std::vector<std::string> command = {HelperPath(), normalized};
    if (!group.empty() && !IsGroupName(group)) {
        err.Say(Message(N_("--group needs a group's name (lower-case letters, digits, _ and -, at most 32), not "
                           "\"%s\""),
                        {SafeText(group)}),
                OwnLineKind::Error);
        return 2;
    }
    if (!group.empty()) {
        command.push_back(group);
    }
    if (geteuid() != 0) {
        // pkexec asks for an administrator (polkit action of the package, kept
        // for a few minutes) and starts the helper with a clean environment.
        command.insert(command.begin(), "/usr/bin/pkexec");
    }
    return Run(std::move(command), err);
}
