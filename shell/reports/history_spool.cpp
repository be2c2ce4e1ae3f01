// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/history_spool.h"

#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// An empty file no one else can reach, in the temporary folder.
FILE* OpenScratch()
{
#ifdef _WIN32
    return std::tmpfile();
#else
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/zentrix-history-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    ::unlink(name.c_str());
    FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
#endif
}

}  // namespace

SpoolFile SpoolInput(FILE* from, uint64_t limit, Message& problem)
{
    SpoolFile spool(OpenScratch(), &std::fclose);
    if (!spool) {
        problem = Message(N_("standard input cannot be copied to a temporary file"));
        return {nullptr, &std::fclose};
    }
    std::vector<char> buffer(64 * 1024);
    uint64_t copied = 0;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), from)) > 0; copied += n) {
        if (copied + n > limit) {
            problem = Message(N_("standard input holds more than %d MiB, more than a table is made of; "
                                 "show it with --json or --csv"),
                              {std::to_string(limit / (1024 * 1024))});
            return {nullptr, &std::fclose};
        }
        if (std::fwrite(buffer.data(), 1, n, spool.get()) != n) {
            problem = Message(N_("standard input cannot be copied to a temporary file"));
            return {nullptr, &std::fclose};
        }
    }
    if (std::ferror(from) != 0 || std::fflush(spool.get()) != 0) {
        problem = Message(N_("standard input cannot be copied to a temporary file"));
        return {nullptr, &std::fclose};
    }
    std::rewind(spool.get());
    return spool;
}
