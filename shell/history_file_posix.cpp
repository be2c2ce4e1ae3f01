// SPDX-License-Identifier: GPL-3.0-or-later
// The history file on Linux: its place under XDG_STATE_HOME, and appends
// under flock, each written whole and fsynced.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "shell/history.h"

namespace {

// Closes the descriptor (and with it the lock) however the append ends.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// `pattern` names the path and then errno's words.
bool AppendFailed(const char* pattern, const std::string& path, std::string& problem)
{
    const int error = errno;
    problem = FormatText(pattern, {SafeText(path), std::strerror(error)});
    return false;
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

// Whether the file's last byte is not a line feed: a line torn by a power
// cut, which the next record must not continue.
bool EndsTorn(int fd)
{
    struct stat info = {};
    char last = '\n';
    return fstat(fd, &info) == 0 && info.st_size > 0 && pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}

}  // namespace

std::string HistoryFilePath()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string folder;
    if (state != nullptr && state[0] == '/') {
        folder = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        folder = std::string(home) + "/.local/state";
    } else {
        return {};
    }
    return folder + "/zentrix-update/history.jsonl";
}

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

bool AppendHistoryLine(const std::string& path, const std::string& line, std::string& problem)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            problem = FormatText(N_("cannot make the folder %s: %s"), {SafeText(folder.string()), error.message()});
            return false;
        }
    }
    constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY;
    int fd = open(path.c_str(), kFlags);
    const bool made = fd < 0 && errno == ENOENT;
    if (made) {
        fd = open(path.c_str(), kFlags | O_CREAT, 0644);
    }
    const CFileDescriptor file(fd);
    if (file.Get() < 0) {
        return AppendFailed(N_("cannot open %s: %s"), path, problem);
    }
    int locked = 0;
    while ((locked = flock(file.Get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        return AppendFailed(N_("cannot lock %s: %s"), path, problem);
    }
    // Written in one piece while the lock is held: no other program's line
    // can come between its bytes.
    const std::string bytes = (EndsTorn(file.Get()) ? "\n" : "") + line + "\n";
    if (!WriteAll(file.Get(), bytes)) {
        return AppendFailed(N_("cannot write to %s: %s"), path, problem);
    }
    if (fsync(file.Get()) != 0) {
        return AppendFailed(N_("cannot flush %s: %s"), path, problem);
    }
    if (made) {
        // A new file's name is on the disk only once its folder is.
        const CFileDescriptor dir(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Get() >= 0) {
            fsync(dir.Get());
        }
    }
    return true;
}
