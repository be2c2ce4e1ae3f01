// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A program run as a user runs it, measured from outside: its wall time,
// its peak memory (resident set) and its exit code. Its output goes to
// /dev/null; its state folder is `state`.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

struct Measure {
    double seconds = 0;
    long peakKiB = 0;
    int exitCode = -1;
};

inline Measure RunMeasured(std::vector<std::string> arguments, const std::string& state)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::fflush(stdout);   // or the child's freopen writes our lines again
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measure measure;
    measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakKiB = usage.ru_maxrss;
    measure.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measure;
}

}  // namespace bench
