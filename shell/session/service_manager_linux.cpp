// SPDX-License-Identifier: GPL-3.0-or-later
// The notice is one datagram to the socket named by NOTIFY_SOCKET, sent
// without waiting: a manager whose queue is full or who reads nothing loses
// that line of status, and the station goes on (sd_notify would wait in
// sendmsg until the queue had room, and a signal would not end that wait).
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "device/posix_fd.h"
#include "shell/session/service_manager.h"

void TellServiceManager(const std::string& state)
{
    const char* name = std::getenv("NOTIFY_SOCKET");
    if (name == nullptr || (name[0] != '/' && name[0] != '@')) {
        return;   // no manager asked, or one this program cannot reach (vsock)
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = std::strlen(name);
    if (length >= sizeof address.sun_path) {
        return;
    }
    std::memcpy(address.sun_path, name, length);
    if (name[0] == '@') {
        address.sun_path[0] = '\0';   // the abstract namespace
    }
    const CPosixFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.Get() < 0) {
        return;
    }
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + (name[0] == '@' ? 0 : 1));
    (void)::sendto(socket.Get(), state.data(), state.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&address), size);
}

bool StartedByServiceManager()
{
    const char* socket = std::getenv("NOTIFY_SOCKET");
    return socket != nullptr && *socket != '\0';
}
