// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/grant_access.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

int Run(std::vector<std::string> texts, std::ostream& err, const MoCatalogue* catalogue)
{
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        err << "zentrix-update: "
            << Message(N_("cannot run %s: %s"), {texts[0], std::string(std::strerror(spawned))}).Render(catalogue)
            << "\n";
        return 1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int GrantAccess(const std::string& id, std::ostream& err, const MoCatalogue* texts)
{
    const std::string normalized = NormalizedUsbId(id);
    if (normalized.empty()) {
        err << "zentrix-update: "
            << Message(N_("--grant-access needs the calculator's USB IDs as VVVV:PPPP (four hex "
                          "digits each, as lsusb shows them), not \"%s\""),
                       {SafeText(id)})
                   .Render(texts)
            << "\n";
        return 2;
    }
    if (geteuid() == 0) {
        return Run({HelperPath(), normalized}, err, texts);
    }
    // pkexec asks for an administrator (polkit action of the package, kept
    // for a few minutes) and starts the helper with a clean environment.
    return Run({"/usr/bin/pkexec", HelperPath(), normalized}, err, texts);
}
