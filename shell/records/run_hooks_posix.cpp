// SPDX-License-Identifier: GPL-3.0-or-later
// A hook on POSIX: /bin/sh -c COMMAND in a process group of its own, its
// standard output on the program's standard error.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shell/records/run_hooks.h"

extern char** environ;

namespace {

// The program's environment with `added` in place of any variable of the
// same name.
std::vector<std::string> ChildEnvironment(const HookEnvironment& added)
{
    std::set<std::string> names;
    std::vector<std::string> entries;
    for (const auto& [name, value] : added) {
        names.insert(name);
        entries.push_back(name + "=" + value);
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (names.count(text.substr(0, text.find('='))) == 0) {
            entries.push_back(text);
        }
    }
    return entries;
}

std::string StatusText(int status)
{
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("ended by signal ") + std::to_string(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

}  // namespace

Message RunHookCommand(const std::string& command, const std::string& input, const HookEnvironment& environment,
                       std::chrono::milliseconds timeout)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return Message::Raw(std::string("no pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> entries = ChildEnvironment(environment);
    std::vector<char*> envp;
    for (std::string& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", dashC = "-c", text = command;
    char* argv[] = {shell.data(), dashC.data(), text.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/bin/sh", &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[0]);
    if (spawned != 0) {
        close(pipeFds[1]);
        return Message::Raw(std::string("it cannot be started: ") + std::strerror(spawned));
    }
    // The line is far shorter than a pipe holds: it never waits for the reader.
    (void)fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
    const ssize_t written = write(pipeFds[1], input.data(), input.size());
    close(pipeFds[1]);
    (void)written;   // a hook that does not read its input may close it first

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Message() : Message::Raw(StatusText(status));
        }
        if (ended < 0 && errno != EINTR) {
            return Message::Raw(std::string("it cannot be waited for: ") + std::strerror(errno));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(-child, SIGKILL);   // its whole group: the shell and what it started
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return Message(N_("it was still running after %d s and was ended"),
                           {std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeout).count())});
        }
        usleep(20 * 1000);
    }
}
