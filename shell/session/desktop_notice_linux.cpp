// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstring>
#include <memory>

#include <systemd/sd-bus.h>

#include "shell/session/desktop_notice.h"

namespace {

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

}  // namespace

bool ShowDesktopNotice(const std::string& summary, const std::string& body, std::string& why)
{
    sd_bus* opened = nullptr;
    int r = sd_bus_open_user(&opened);
    if (r < 0) {
        why = std::string("no session bus: ") + std::strerror(-r);
        return false;
    }
    const std::unique_ptr<sd_bus, BusClose> bus(opened);
    sd_bus_message* made = nullptr;
    r = sd_bus_message_new_method_call(bus.get(), &made, "org.freedesktop.Notifications",
                                       "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
    const std::unique_ptr<sd_bus_message, MessageUnref> message(made);
    if (r >= 0) {
        // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's)
        r = sd_bus_message_append(message.get(), "susssasa{sv}i", "Zentrix OS Update", 0u, "zentrix-update",
                                  summary.c_str(), body.c_str(), 0, 0, -1);
    }
    if (r >= 0) {
        r = sd_bus_message_set_expect_reply(message.get(), 0);   // nobody waits for the server
    }
    if (r >= 0) {
        r = sd_bus_send(bus.get(), message.get(), nullptr);
    }
    if (r >= 0) {
        r = sd_bus_flush(bus.get());
    }
    if (r < 0) {
        why = std::string("the notification cannot be sent: ") + std::strerror(-r);
        return false;
    }
    return true;
}
