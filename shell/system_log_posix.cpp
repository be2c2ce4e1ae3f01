// SPDX-License-Identifier: GPL-3.0-or-later
// The system log on Linux: one datagram of the journal's native protocol
// to its socket ($ZENTRIX_JOURNAL_SOCKET, else systemd's); where no journal
// listens, syslog(3) with the run's one line.
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "device/posix_fd.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/system_log.h"

namespace {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

std::string JournalSocketPath()
{
    const char* chosen = std::getenv("ZENTRIX_JOURNAL_SOCKET");
    return chosen != nullptr && chosen[0] != '\0' ? chosen : kJournalSocket;
}

// Whether the error says no journal listens there (rather than that it
// refused the entry).
bool NoJournal(int error)
{
    return error == ENOENT || error == ECONNREFUSED || error == ENOTDIR || error == ENOTSOCK;
}

void WriteSyslog(const HistoryRecord& record)
{
    openlog(kSystemLogIdentifier, LOG_PID, LOG_USER);
    const int priority = !RunFailed(record) ? LOG_INFO : record[kResult] == "unsupported" ? LOG_WARNING : LOG_ERR;
    syslog(priority, "%s", RunLogMessage(record).c_str());
    closelog();
}

}  // namespace

bool WriteSystemLog(const HistoryRecord& record, const std::string& line, Message& problem)
{
    const std::string path = JournalSocketPath();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        problem = Message(N_("the journal's socket path is too long"));
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const CPosixFd journal(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (journal.Get() < 0) {
        problem = Message::Raw(std::strerror(errno));
        return false;
    }
    const std::string datagram = JournalDatagram(JournalFields(record, line));
    ssize_t sent = -1;
    do {
        sent = sendto(journal.Get(), datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) {
        return true;
    }
    if (NoJournal(errno)) {
        WriteSyslog(record);
        return true;
    }
    problem = Message(N_("the journal refused the entry: %s"), {std::string(std::strerror(errno))});
    return false;
}
