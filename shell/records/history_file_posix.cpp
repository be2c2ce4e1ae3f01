// SPDX-License-Identifier: GPL-3.0-or-later
// The history file on Linux: its place under XDG_STATE_HOME, and appends
// under flock, each written whole and fsynced; never through a link, and
// readable by the user only.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "device/posix_fd.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/records/history_file.h"

namespace {

// `pattern` names the path and then errno's words.
bool AppendFailed(const char* pattern, const std::string& path, Message& problem)
{
    const int error = errno;
    problem = Message(pattern, {SafeText(path), std::string(std::strerror(error))});
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

namespace {

// The history's own folder: made 0700 (it holds serial numbers), an existing
// one of the user's tightened to that; a link in its place is refused.
bool PrepareFolder(const std::filesystem::path& folder, Message& problem)
{
    if (folder.empty()) {
        return true;
    }
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return AppendFailed(N_("cannot make the folder %s: %s"), folder.string(), problem);
    }
    struct stat info = {};
    if (lstat(folder.c_str(), &info) != 0) {
        return AppendFailed(N_("cannot make the folder %s: %s"), folder.string(), problem);
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR;
        return AppendFailed(N_("cannot make the folder %s: %s"), folder.string(), problem);
    }
    if ((info.st_mode & 077) != 0 && info.st_uid == geteuid()) {
        chmod(folder.c_str(), info.st_mode & 0700);
    }
    return true;
}

// Opens the history (a regular file) for appending without following a
// link, making it 0600 when missing, and readable by its owner only
// (tightened once when it is the user's). Sets `made` when this call
// created it.
int OpenForAppend(const std::string& path, bool& made, bool& notRegular)
{
    constexpr int kFlags = O_RDWR | O_APPEND;
    struct stat info = {};
    int fd = OpenRegularFile(path.c_str(), kFlags, 0, notRegular, &info);
    made = fd < 0 && errno == ENOENT;
    if (made) {
        fd = OpenRegularFile(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600, notRegular, &info);
    }
    if (fd >= 0 && (info.st_mode & 077) != 0 && info.st_uid == geteuid()) {
        fchmod(fd, info.st_mode & 0600);
    }
    return fd;
}

LockTry TryLock(int fd)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return LockTry::Taken;
    }
    return errno == EWOULDBLOCK || errno == EINTR ? LockTry::Busy : LockTry::Failed;
}

}  // namespace

bool AppendHistoryLine(const std::string& path, const std::string& line, const std::function<bool()>& keepTrying,
                       Message& problem)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!PrepareFolder(folder, problem)) {
        return false;
    }
    bool made = false;
    bool notRegular = false;
    const CPosixFd file(OpenForAppend(path, made, notRegular));
    if (file.Get() < 0 && notRegular) {
        problem = Message(N_("%s is not a regular file"), {SafeText(path)});
        return false;
    }
    if (file.Get() < 0 && errno == ELOOP) {
        problem = Message(N_("%s is a symbolic link; nothing is written through it"), {SafeText(path)});
        return false;
    }
    if (file.Get() < 0 || fcntl(file.Get(), F_SETFL, O_APPEND) != 0) {   // writes block again
        return AppendFailed(N_("cannot open %s: %s"), path, problem);
    }
    const int fd = file.Get();
    switch (RetryLock([fd] { return TryLock(fd); }, keepTrying)) {
    case LockTry::Taken: break;
    case LockTry::Busy: problem = Message(N_("%s is locked by another program"), {SafeText(path)}); return false;
    case LockTry::Failed: return AppendFailed(N_("cannot lock %s: %s"), path, problem);
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
        const CPosixFd dir(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Get() >= 0) {
            fsync(dir.Get());
        }
    }
    return true;
}
