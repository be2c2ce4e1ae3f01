// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel's log, read for USB devices it refused: /dev/kmsg where this
// user may read it (root, or a system without dmesg_restrict), else the
// system journal's kernel messages.
#include <fcntl.h>
#include <systemd/sd-journal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "device/posix_fd.h"
#include "device/usb_refusals.h"

namespace {

// Bounds on the entries read, whatever the log holds.
constexpr int kMaxKernelRecords = 100000;
constexpr int kMaxJournalEntries = 50000;
constexpr int64_t kWindowMicros = kUsbRefusalWindowSeconds * 1000000;

// From /dev/kmsg, opened without waiting: false when it cannot be read.
bool LatestFromKernelLog(std::optional<std::string>& latest)
{
    const CPosixFd log(::open("/dev/kmsg", O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (log.Get() < 0) {
        return false;
    }
    // The kernel stamps its records on the monotonic clock, which is the
    // steady clock here.
    const int64_t since =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count() -
        kWindowMicros;
    char record[8192];
    for (int i = 0; i < kMaxKernelRecords; ++i) {
        const ssize_t got = ::read(log.Get(), record, sizeof record);
        if (got < 0 && (errno == EPIPE || errno == EINTR)) {
            continue;  // overwritten while read (the next one follows), or interrupted
        }
        if (got <= 0) {
            return got == 0 || errno == EAGAIN;
        }
        int64_t micros = 0;
        std::string_view text;
        if (ParseKernelRecord(std::string_view(record, static_cast<size_t>(got)), micros, text) && micros >= since &&
            IsUsbRefusal(text)) {
            latest = std::string(text);
        }
    }
    return true;
}

void LatestFromJournal(std::optional<std::string>& latest)
{
    sd_journal* journal = nullptr;
    if (sd_journal_open(&journal, SD_JOURNAL_LOCAL_ONLY | SD_JOURNAL_SYSTEM) < 0) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t since = static_cast<uint64_t>(now.tv_sec) * 1000000 - static_cast<uint64_t>(kWindowMicros);
    if (sd_journal_add_match(journal, "_TRANSPORT=kernel", 0) >= 0 && sd_journal_seek_realtime_usec(journal, since) >= 0) {
        for (int i = 0; i < kMaxJournalEntries && sd_journal_next(journal) > 0; ++i) {
            const void* data = nullptr;
            size_t length = 0;
            if (sd_journal_get_data(journal, "MESSAGE", &data, &length) < 0) {
                continue;
            }
            const std::string_view field(static_cast<const char*>(data), length);
            const std::string_view text = field.substr(field.find('=') + 1);
            if (IsUsbRefusal(text)) {
                latest = std::string(text);
            }
        }
    }
    sd_journal_close(journal);
}

}  // namespace

std::optional<std::string> LatestUsbRefusal()
{
    std::optional<std::string> latest;
    if (!LatestFromKernelLog(latest)) {
        LatestFromJournal(latest);
    }
    return latest;
}
