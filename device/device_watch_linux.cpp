// SPDX-License-Identifier: GPL-3.0-or-later
// Device changes on Linux: a udev monitor for USB devices and ttys, inotify
// on the folders of the listed paths.
#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <set>

#include "device/device_labels.h"
#include "device/device_watch.h"

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
};
struct MonitorDeleter {
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
struct DeviceDeleter {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Readable(int fd)
{
    if (fd < 0) {
        return false;
    }
    struct pollfd look = {fd, POLLIN, 0};
    return poll(&look, 1, 0) > 0 && (look.revents & POLLIN) != 0;
}

}  // namespace

struct CDeviceWatch::Impl {
    std::unique_ptr<udev, UdevDeleter> context;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor;
    int inotifyFd = -1;
    std::set<std::string> watched;   // folders under inotify

    ~Impl()
    {
        if (inotifyFd >= 0) {
            close(inotifyFd);
        }
    }

    void WatchUdev()
    {
        context.reset(udev_new());
        if (context == nullptr) {
            return;
        }
        // "udev" events come after the rules ran: the device node has its
        // final owner and mode when the station opens it.
        monitor.reset(udev_monitor_new_from_netlink(context.get(), "udev"));
        if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_device") < 0 ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor.get()) < 0) {
            monitor.reset();
        }
    }

    // The folders of the listed paths, and of what the links among them
    // lead to now (a link's target, a pty for instance, may go while the
    // link stays). Adding a folder watched already changes nothing.
    void WatchFolders(const std::vector<std::string>& paths)
    {
        if (inotifyFd < 0) {
            inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        }
        for (const std::string& path : paths) {
            if (path.empty() || path.rfind("usb:", 0) == 0 || IsStableUsbName(path)) {
                continue;
            }
            std::vector<std::string> folders = {FolderOf(path)};
            char target[PATH_MAX];
            if (realpath(path.c_str(), target) != nullptr) {
                folders.push_back(FolderOf(target));
            }
            for (const std::string& folder : folders) {
                if (watched.count(folder) == 0 &&
                    inotify_add_watch(inotifyFd, folder.c_str(),
                                      IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB) >= 0) {
                    watched.insert(folder);
                }
            }
        }
    }

    bool DrainUdev()
    {
        bool changed = false;
        while (monitor != nullptr && Readable(udev_monitor_get_fd(monitor.get()))) {
            std::unique_ptr<udev_device, DeviceDeleter> device(udev_monitor_receive_device(monitor.get()));
            if (device == nullptr) {
                break;
            }
            changed = true;
        }
        return changed;
    }

    bool DrainInotify()
    {
        bool changed = false;
        alignas(inotify_event) char events[4096];
        while (Readable(inotifyFd) && read(inotifyFd, events, sizeof events) > 0) {
            changed = true;
        }
        return changed;
    }
};

CDeviceWatch::CDeviceWatch(const std::vector<std::string>& listedPaths) : m_impl(std::make_unique<Impl>())
{
    m_impl->WatchUdev();
    m_impl->WatchFolders(listedPaths);
}

void CDeviceWatch::Follow(const std::vector<std::string>& listedPaths)
{
    m_impl->WatchFolders(listedPaths);
}

CDeviceWatch::~CDeviceWatch() = default;

bool CDeviceWatch::TakeChange()
{
    const bool udevChanged = m_impl->DrainUdev();
    const bool foldersChanged = m_impl->DrainInotify();
    return udevChanged || foldersChanged;
}

bool CDeviceWatch::Watching() const
{
    return m_impl->monitor != nullptr || !m_impl->watched.empty();
}
