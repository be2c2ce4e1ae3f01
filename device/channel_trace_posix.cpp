// SPDX-License-Identifier: GPL-3.0-or-later
// The trace files on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "device/posix_fd.h"
#include "device/trace_file.h"
#include "i18n/text_format.h"

namespace {

// The folders on the way to the file at `path`, made private where missing.
void MakeFolderOf(const char* path)
{
    for (const char* slash = std::strchr(path + 1, '/'); slash != nullptr; slash = std::strchr(slash + 1, '/')) {
        mkdir(std::string(path, slash).c_str(), S_IRWXU);
    }
}

}  // namespace

intptr_t OpenTraceFile(const char* path, bool replace, std::string& why)
{
    // Only a regular file reached without a link. O_APPEND puts each write
    // at the end of the file as it is then, whoever else appends to it.
    if (replace) {
        MakeFolderOf(path);
    }
    bool notRegular = false;
    const int fd = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, S_IRUSR | S_IWUSR, notRegular);
    if (fd < 0) {
        why = notRegular ? N_("not a regular file") : std::strerror(errno);
        return kNoTraceFile;
    }
    // Emptied only once it is known to be a regular file of its own.
    if (replace && ftruncate(fd, 0) != 0) {
        why = std::strerror(errno);
        close(fd);
        return kNoTraceFile;
    }
    return fd;
}

void CloseTraceFile(intptr_t file)
{
    close(static_cast<int>(file));
}

uint32_t WriteTraceFile(intptr_t file, const char* data, size_t size)
{
    // One write for the whole piece, so that lines of sessions sharing the
    // file never interleave. Cut short (a full disk, the file size limit),
    // the rest is offered once more only to learn why.
    size_t done = 0;
    for (int tries = 0; tries < 2 && done < size; ++tries) {
        ssize_t n = 0;
        do {
            n = write(static_cast<int>(file), data + done, size - done);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            return static_cast<uint32_t>(errno);
        }
        done += static_cast<size_t>(n);
    }
    return done == size ? 0 : ENOSPC;
}
