// SPDX-License-Identifier: GPL-3.0-or-later
// The system log on Linux: one datagram of the journal's native protocol
// to its socket ($ZENTRIX_JOURNAL_SOCKET, else systemd's); where no journal
// listens, the run's one line to the syslog socket ($ZENTRIX_SYSLOG_SOCKET,
// else /dev/log) as syslog(3) would send it. Both are sent without waiting:
// a log whose reader has stopped never holds the program, the entry is
// dropped with one warning.
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/posix_fd.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/records/system_log.h"

namespace {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";
constexpr const char* kSyslogSocket = "/dev/log";

std::string SocketPath(const char* variable, const char* usual)
{
    const char* chosen = std::getenv(variable);
    return chosen != nullptr && chosen[0] != '\0' ? chosen : usual;
}

// Whether the error says nothing listens there (rather than that the log
// refused the entry).
bool NobodyListens(int error)
{
    return error == ENOENT || error == ECONNREFUSED || error == ENOTDIR || error == ENOTSOCK;
}

// Sends `datagram` to the socket at `path` without waiting for room: 0, or
// the errno value of the failure.
int SendWithoutWaiting(const std::string& path, const std::string& datagram)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return ENAMETOOLONG;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const CPosixFd socketFd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socketFd.Get() < 0) {
        return errno;
    }
    ssize_t sent = -1;
    do {
        sent = sendto(socketFd.Get(), datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 ? 0 : errno;
}

// The run's entry as syslog(3) sends it (RFC 3164):
// "<PRI>Mmm dd hh:mm:ss zentrix-update[PID]: @cee: {...}", the time local.
std::string SyslogDatagram(const HistoryRecord& record, const std::string& line)
{
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int severity = !RunFailed(record) ? LOG_INFO : record[kResult] == "unsupported" ? LOG_WARNING : LOG_ERR;
    const time_t now = time(nullptr);
    tm local = {};
    localtime_r(&now, &local);
    char head[96] = {};
    std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d %s[%d]: ", LOG_USER | severity,
                  kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  kSystemLogIdentifier, static_cast<int>(getpid()));
    return head + CeeMessage(record, line);
}

}  // namespace

bool WriteSystemLog(const HistoryRecord& record, const std::string& line, Message& problem, SystemLogRoute route)
{
    if (route == SystemLogRoute::JournalFirst) {
        const int journalError = SendWithoutWaiting(SocketPath("ZENTRIX_JOURNAL_SOCKET", kJournalSocket),
                                                    JournalDatagram(JournalFields(record, line)));
        if (journalError == 0) {
            return true;
        }
        if (!NobodyListens(journalError)) {
            problem = Message(N_("the journal refused the entry: %s"), {std::string(std::strerror(journalError))});
            return false;
        }
    }
    const int syslogError =
        SendWithoutWaiting(SocketPath("ZENTRIX_SYSLOG_SOCKET", kSyslogSocket), SyslogDatagram(record, line));
    if (syslogError == 0 || NobodyListens(syslogError)) {
        return true;   // no system log at all: nothing to write to, as syslog(3) would find
    }
    problem = Message(N_("the system log refused the entry: %s"), {std::string(std::strerror(syslogError))});
    return false;
}
