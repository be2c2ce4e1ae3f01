// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "shell/session/keep_awake.h"

namespace {

// logind answers at once; a bus that hangs must not hold a run up for long.
constexpr uint64_t kCallTimeoutUs = 5'000'000;

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&error); }
};

// An inhibitor's descriptor: logind lets the inhibitor go when it is closed.
class CHeldFd {
public:
    ~CHeldFd() { Reset(-1); }
    void Reset(int fd)
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

std::string Why(size_t writing)
{
    return writing == 1 ? "1 calculator is being updated" : std::to_string(writing) + " calculators are being updated";
}

class CLogindInhibitor final : public IWriteGuard {
public:
    std::string BeginWriting() override
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        ++m_writing;
        return Hold();
    }
    void EndWriting() override
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        --m_writing;
        (void)Hold();
    }

private:
    // One inhibitor for sleep and one for shutdown, each naming how many
    // runs write, none while none does; a note the first time logind cannot
    // be had (then it is not asked again). Two, not one for "sleep:shutdown":
    // logind asks polkit about one of them alone by its own action (the
    // package's rule allows those two), and about both at once by another.
    std::string Hold();
    std::string Inhibit(const char* what, CHeldFd& held);
    std::string Unavailable(const std::string& why);

    std::mutex m_lock;
    size_t m_writing = 0;
    std::unique_ptr<sd_bus, BusClose> m_bus;
    CHeldFd m_sleep;
    CHeldFd m_shutdown;
    bool m_unavailable = false;
};

std::string CLogindInhibitor::Hold()
{
    if (m_writing == 0) {
        m_sleep.Reset(-1);
        m_shutdown.Reset(-1);
        return {};
    }
    if (m_unavailable) {
        return {};
    }
    if (!m_bus) {
        sd_bus* bus = nullptr;
        const int r = sd_bus_open_system(&bus);
        if (r < 0) {
            return Unavailable(std::string("the system bus cannot be reached: ") + std::strerror(-r));
        }
        m_bus.reset(bus);
        sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    }
    std::string note = Inhibit("sleep", m_sleep);
    return note.empty() ? Inhibit("shutdown", m_shutdown) : note;
}

std::string CLogindInhibitor::Inhibit(const char* what, CHeldFd& held)
{
    BusError error;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(m_bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "Inhibit", &error.error, &reply, "ssss", what,
                               "Zentrix OS Update", Why(m_writing).c_str(), "block");
    const std::unique_ptr<sd_bus_message, MessageUnref> owned(reply);
    if (r < 0) {
        return Unavailable(std::string("logind refused or is not there: ") +
                           (error.error.message != nullptr ? error.error.message : std::strerror(-r)));
    }
    int fd = -1;
    r = sd_bus_message_read(reply, "h", &fd);
    const int own = r < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) {
        return Unavailable(std::string("logind's answer holds no inhibitor: ") + std::strerror(r < 0 ? -r : errno));
    }
    held.Reset(own);   // the one it replaces goes once this one is held
    return {};
}

std::string CLogindInhibitor::Unavailable(const std::string& why)
{
    m_unavailable = true;
    m_sleep.Reset(-1);
    m_shutdown.Reset(-1);
    m_bus.reset();
    return "no sleep inhibitor: " + why + "; the computer may sleep while calculators are written";
}

}  // namespace

std::unique_ptr<IWriteGuard> MakeKeepAwake()
{
    return std::make_unique<CLogindInhibitor>();
}
