// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/e2e/child_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <utility>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

int ExitCodeOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return ExitCodeOf(status);
}

// Feeds `input` to `inFd` and drains `outFd` and `errFd` until both end;
// with `limitMs` > 0, kills `pid` when they have not ended by then.
void Exchange(pid_t pid, int inFd, int outFd, int errFd, const std::string& input, int limitMs,
              ProcessResult& result)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    size_t written = 0;
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    char chunk[4096];
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
        int waitMs = -1;
        if (limitMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 && !result.killed) {
                kill(pid, SIGKILL);
                result.killed = true;
            }
            waitMs = static_cast<int>(std::max<long>(left.count(), 50));
        }
        if (poll(fds, 3, waitMs) <= 0) {
            continue;
        }
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t n = write(inFd, input.data() + written, input.size() - written);
            written += n > 0 ? static_cast<size_t>(n) : 0;
            if (n < 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        int* fdsOut[2] = {&outFd, &errFd};
        std::string* texts[2] = {&result.out, &result.err};
        for (int i = 0; i < 2; ++i) {
            if (*fdsOut[i] >= 0 && fds[i].revents != 0) {
                const ssize_t n = read(*fdsOut[i], chunk, sizeof chunk);
                if (n <= 0) {
                    close(*fdsOut[i]);
                    *fdsOut[i] = -1;
                } else {
                    texts[i]->append(chunk, static_cast<size_t>(n));
                }
            }
        }
    }
    if (inFd >= 0) {
        close(inFd);
    }
}

// A terminal for the child's standard error: err[0] the side the test
// reads, err[1] the child's.
bool OpenTerminal(int columns, int lines, int err[2])
{
    err[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (err[0] < 0 || grantpt(err[0]) != 0 || unlockpt(err[0]) != 0) {
        return false;
    }
    const winsize size{static_cast<unsigned short>(lines), static_cast<unsigned short>(columns), 0, 0};
    ioctl(err[0], TIOCSWINSZ, &size);
    err[1] = open(ptsname(err[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return err[1] >= 0;
}

bool OpenRawTerminal(int columns, int lines, int out[2])
{
    termios mode{};
    if (!OpenTerminal(columns, lines, out) || tcgetattr(out[1], &mode) != 0) {
        return false;
    }
    cfmakeraw(&mode);
    return tcsetattr(out[1], TCSANOW, &mode) == 0;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& input, int limitMs,
                         int errColumns, int outColumns, int lines)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> environment;
    // A variable given in `env` replaces the one inherited (the first of two
    // is the one a program sees).
    const auto given = [&env](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        return std::any_of(env.begin(), env.end(), [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!given(*e)) {
            environment.emplace_back(*e);
        }
    }
    environment.insert(environment.end(), env.begin(), env.end());

    int in[2];
    int out[2];
    int err[2];
    ProcessResult result;
    if (pipe(in) != 0 || (outColumns > 0 ? !OpenRawTerminal(outColumns, lines, out) : pipe(out) != 0) ||
        (errColumns > 0 ? !OpenTerminal(errColumns, lines, err) : pipe(err) != 0)) {
        return result;
    }
    signal(SIGPIPE, SIG_IGN);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr,
                                    Pointers(args).data(), Pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        return result;
    }
    Exchange(pid, in[1], out[0], err[0], input, limitMs, result);
    result.exitCode = WaitFor(pid);
    return result;
}

CBackgroundProcess::CBackgroundProcess(const std::vector<std::string>& argv)
{
    std::vector<std::string> args = argv;
    int out[2];
    if (pipe(out) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    if (posix_spawn(&m_pid, args[0].c_str(), &actions, nullptr, Pointers(args).data(),
                    environ) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_out = out[0];
}

CBackgroundProcess::~CBackgroundProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        WaitFor(m_pid);
    }
    if (m_out >= 0) {
        close(m_out);
    }
}

bool CBackgroundProcess::ReadLinesUntil(std::string& seen, const std::function<bool(const std::string& line)>& done)
{
    for (int empty = 0; empty < 100;) {
        const std::string got = ReadLine(60000);
        if (TimedOut()) {
            seen += "(nothing for 60 s)\n";
            return false;
        }
        seen += got + "\n";
        if (done(got)) {
            return true;
        }
        empty = got.empty() ? empty + 1 : 0;
    }
    return false;
}

std::string CBackgroundProcess::ReadLine(int timeoutMs)
{
    char chunk[256];
    size_t end = 0;
    while ((end = m_buffer.find('\n')) == std::string::npos) {
        struct pollfd wait = {m_out, POLLIN, 0};
        if (timeoutMs >= 0 && poll(&wait, 1, timeoutMs) == 0) {
            m_timedOut = true;
            return {};
        }
        const ssize_t n = read(m_out, chunk, sizeof chunk);
        if (n <= 0) {
            return std::exchange(m_buffer, std::string());
        }
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
    std::string line = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 1);
    return line;
}

std::string CBackgroundProcess::ReadRest()
{
    char chunk[256];
    ssize_t n = 0;
    while ((n = read(m_out, chunk, sizeof chunk)) > 0) {
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
    return std::exchange(m_buffer, std::string());
}

int CBackgroundProcess::Wait()
{
    if (m_pid <= 0) {
        return -1;
    }
    const int code = WaitFor(m_pid);
    m_pid = -1;
    return code;
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
