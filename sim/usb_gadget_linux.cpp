// SPDX-License-Identifier: GPL-3.0-or-later
// The gadget: configfs (libcomposite) makes the USB device, FunctionFS gives
// its one function to this process. Three threads serve it: one reads ep0's
// events (the host configured the device, reset it, or it was unplugged),
// one carries what the host sends on the bulk OUT endpoint to the pty, one
// what the calculator answers on the pty to the bulk IN endpoint. The pty is
// open only while the host has the device configured: closing it is how the
// calculator learns that its link is gone.
#include "sim/usb_gadget.h"
#include "sim/owned_fd.h"

#include <dirent.h>
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace zsim {
namespace {

constexpr const char* kConfigfs = "/sys/kernel/config/usb_gadget";
constexpr const char* kUdcClass = "/sys/class/udc";
constexpr const char* kMountRoot = "/run/zentrix-calc-sim";
// The bulk OUT endpoint is read one packet at a time, of the size the
// endpoint has at the speed the host chose: a larger read would wait for a
// second packet the host sends only once it has the calculator's answer, a
// smaller one would lose the rest of the packet (the controller need not
// keep it).
constexpr size_t kLargestPacket = 512;

std::string SystemError(int error) { return std::strerror(error); }

bool WriteText(const std::string& path, const std::string& text, int* error = nullptr) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.Get() < 0 || ::write(fd.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        if (error) *error = errno;
        return false;
    }
    return true;
}

std::string ReadLine(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return {};
    char buffer[256];
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer - 1);
    if (got <= 0) return {};
    std::string text(buffer, static_cast<size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Hex4(uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
}

void OnKick(int) {}

}  // namespace

struct UsbGadget::Impl {
    GadgetOptions options;
    std::string gadgetDir;
    std::string instance;
    std::string mountDir;
    std::vector<std::pair<std::string, bool>> made;   // paths made, in order; true: a link
    bool mounted = false;
    Fd ep0;
    Fd epIn;
    Fd epOut;
    Fd wakeRead;
    Fd wakeWrite;
    std::string udc;
    std::mutex udcMutex;
    bool bound = false;

    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<Fd> pty;   // open while the host has the device configured
    bool hungUp = false;       // the calculator closed its side: it is unplugged for good

    std::vector<std::thread> threads;
    std::vector<pthread_t> handles;
    std::array<std::atomic<bool>, 3> exited{};

    ~Impl() { Close(); }

    bool Make(const std::string& path, std::string& why) {
        if (::mkdir(path.c_str(), 0755) != 0) {
            why = "cannot make " + path + ": " + SystemError(errno);
            return false;
        }
        made.emplace_back(path, false);
        return true;
    }
    bool Write(const std::string& path, const std::string& text, std::string& why) {
        int error = 0;
        if (WriteText(path, text, &error)) return true;
        why = "cannot write " + path + ": " + SystemError(error);
        return false;
    }
    bool WriteBlock(const std::vector<uint8_t>& block, const char* what, std::string& why) {
        if (::write(ep0.Get(), block.data(), block.size()) == static_cast<ssize_t>(block.size())) return true;
        why = std::string("cannot write the ") + what + " to " + mountDir + "/ep0: " + SystemError(errno);
        return false;
    }

    std::shared_ptr<Fd> Pty() {
        std::lock_guard lock(mutex);
        return pty;
    }
    void WaitForPty(int ms) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pty || stop; });
    }
    void Configured(bool on) {
        std::lock_guard lock(mutex);
        if (on && !pty && !hungUp) {
            auto fd = std::make_shared<Fd>(::open(options.ptyPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
            if (fd->Get() >= 0) pty = std::move(fd);
        } else if (!on) {
            pty.reset();
        }
        changed.notify_all();
    }
    bool Unbind() {
        std::lock_guard lock(udcMutex);
        if (!bound) return true;
        bound = !WriteText(gadgetDir + "/UDC", "\n");
        return !bound;
    }

    void Ep0Loop();
    void OutLoop();
    void InLoop();
    bool WriteToPty(const std::shared_ptr<Fd>& fd, const uint8_t* data, size_t n);
    void Close();
};

void UsbGadget::Impl::Ep0Loop() {
    usb_functionfs_event events[4];
    while (!stop) {
        pollfd fds[2] = {{ep0.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) break;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const ssize_t got = ::read(ep0.Get(), events, sizeof events);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EIDRM) continue;
            break;
        }
        for (size_t i = 0; i < static_cast<size_t>(got) / sizeof events[0]; ++i) {
            switch (events[i].type) {
            case FUNCTIONFS_ENABLE:
                Configured(true);
                break;
            case FUNCTIONFS_DISABLE:
            case FUNCTIONFS_UNBIND:
                Configured(false);
                break;
            case FUNCTIONFS_SETUP: {
                // The calculator knows no control request of its own: each
                // is refused with a stall (the data stage's opposite
                // direction, as FunctionFS asks).
                uint8_t none = 0;
                if (events[i].u.setup.bRequestType & USB_DIR_IN) {
                    [[maybe_unused]] const ssize_t r = ::read(ep0.Get(), &none, 0);
                } else {
                    [[maybe_unused]] const ssize_t w = ::write(ep0.Get(), &none, 0);
                }
                break;
            }
            default:   // BIND, SUSPEND, RESUME: nothing to do
                break;
            }
        }
    }
}

bool UsbGadget::Impl::WriteToPty(const std::shared_ptr<Fd>& fd, const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n && !stop) {
        const ssize_t w = ::write(fd->Get(), data + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        // A calculator that takes no more data (its flow stopped) holds the
        // host's bytes here until the host gives up or unplugs it.
        pollfd p{fd->Get(), POLLOUT, 0};
        ::poll(&p, 1, 100);
        if (Pty() != fd) return false;
    }
    return done == n;
}

void UsbGadget::Impl::OutLoop() {
    uint8_t buffer[kLargestPacket];
    std::weak_ptr<Fd> session;   // not kept open by this loop
    size_t packet = kLargestPacket;
    while (!stop) {
        const auto fd = Pty();
        if (!fd) {
            WaitForPty(100);
            continue;
        }
        if (session.lock() != fd) {
            // Configured anew: the speed may have changed.
            session = fd;
            usb_endpoint_descriptor in_use{};
            packet = kLargestPacket;
            if (::ioctl(epOut.Get(), FUNCTIONFS_ENDPOINT_DESC, &in_use) == 0) {
                const size_t size = le16toh(in_use.wMaxPacketSize) & 0x7ff;
                if (size > 0 && size <= kLargestPacket) packet = size;
            }
        }
        const ssize_t got = ::read(epOut.Get(), buffer, packet);
        if (got > 0) {
            WriteToPty(fd, buffer, static_cast<size_t>(got));
        } else if (got < 0 && errno != EINTR) {
            // Not configured yet, or reset or unplugged meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

void UsbGadget::Impl::InLoop() {
    std::vector<uint8_t> buffer(4096);
    while (!stop) {
        const auto fd = Pty();
        if (!fd) {
            WaitForPty(100);
            continue;
        }
        pollfd p{fd->Get(), POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t got = ::read(fd->Get(), buffer.data(), buffer.size());
        if (got > 0) {
            size_t done = 0;
            while (done < static_cast<size_t>(got) && !stop && Pty() == fd) {
                const ssize_t w = ::write(epIn.Get(), buffer.data() + done, static_cast<size_t>(got) - done);
                if (w > 0) {
                    done += static_cast<size_t>(w);
                } else if (w < 0 && errno != EINTR) {
                    // The host went away: the answer goes nowhere.
                    break;
                }
            }
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The calculator closed its side (it hung up): it leaves the bus.
            {
                std::lock_guard lock(mutex);
                hungUp = true;
                pty.reset();
            }
            Unbind();
        }
    }
}

void UsbGadget::Impl::Close() {
    Unbind();
    if (!threads.empty()) {
        stop = true;
        if (wakeWrite.Get() >= 0) {
            const uint8_t b = 1;
            [[maybe_unused]] const ssize_t w = ::write(wakeWrite.Get(), &b, 1);
        }
        changed.notify_all();
        // A thread still inside an endpoint's read or write is woken by a
        // signal that interrupts it.
        for (;;) {
            bool all = true;
            for (size_t i = 0; i < threads.size(); ++i) {
                if (!exited[i]) {
                    all = false;
                    pthread_kill(handles[i], SIGUSR1);
                }
            }
            if (all) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        for (auto& t : threads) t.join();
        threads.clear();
    }
    {
        std::lock_guard lock(mutex);
        pty.reset();
    }
    epIn.Reset();
    epOut.Reset();
    ep0.Reset();
    if (mounted && ::umount2(mountDir.c_str(), 0) != 0) ::umount2(mountDir.c_str(), MNT_DETACH);
    mounted = false;
    if (!mountDir.empty()) ::rmdir(mountDir.c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        if (it->second) {
            ::unlink(it->first.c_str());
        } else {
            ::rmdir(it->first.c_str());
        }
    }
    made.clear();
}

UsbGadget::UsbGadget() : impl_(std::make_unique<Impl>()) {}

UsbGadget::~UsbGadget() = default;

bool UsbGadget::Open(const GadgetOptions& options, std::string& why) {
    Impl& d = *impl_;
    d.options = options;
    struct stat st {};
    if (::stat(kConfigfs, &st) != 0) {
        why = std::string("there is no ") + kConfigfs +
              " (load the kernel's gadget support with 'modprobe libcomposite'; configfs must be mounted)";
        return false;
    }
    const std::string pid = std::to_string(::getpid());
    d.instance = "zentrixsim" + pid;
    d.gadgetDir = std::string(kConfigfs) + "/zentrix-calc-sim." + pid;
    const std::string& g = d.gadgetDir;
    const std::string function = g + "/functions/ffs." + d.instance;
    if (!d.Make(g, why) || !d.Write(g + "/idVendor", Hex4(options.id.vendor), why) ||
        !d.Write(g + "/idProduct", Hex4(options.id.product), why) || !d.Write(g + "/bcdUSB", "0x0200", why) ||
        !d.Write(g + "/bcdDevice", "0x0100", why) || !d.Make(g + "/strings/0x409", why) ||
        !d.Write(g + "/strings/0x409/manufacturer", "Zentrix (simulated)", why) ||
        !d.Write(g + "/strings/0x409/product", "Zentrix calculator (simulated)", why) ||
        !d.Write(g + "/strings/0x409/serialnumber", options.serial, why) || !d.Make(g + "/configs/c.1", why) ||
        !d.Make(g + "/configs/c.1/strings/0x409", why) ||
        !d.Write(g + "/configs/c.1/strings/0x409/configuration", "update", why) ||
        !d.Write(g + "/configs/c.1/MaxPower", "100", why)) {
        return false;
    }
    // The function has full- and high-speed descriptors only: a SuperSpeed
    // controller is told to stay at high speed (an older kernel has no such
    // attribute and no SuperSpeed either).
    WriteText(g + "/max_speed", "high-speed");
    if (::mkdir(function.c_str(), 0755) != 0) {
        why = "cannot make " + function + ": " + SystemError(errno) +
              (errno == ENOENT ? " (load FunctionFS with 'modprobe usb_f_fs')" : "");
        return false;
    }
    d.made.emplace_back(function, false);
    const std::string link = g + "/configs/c.1/ffs." + d.instance;
    if (::symlink(function.c_str(), link.c_str()) != 0) {
        why = "cannot link " + link + ": " + SystemError(errno);
        return false;
    }
    d.made.emplace_back(link, true);
    ::mkdir(kMountRoot, 0755);
    d.mountDir = std::string(kMountRoot) + "/" + d.instance;
    if (::mkdir(d.mountDir.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "cannot make " + d.mountDir + ": " + SystemError(errno);
        d.mountDir.clear();
        return false;
    }
    if (::mount(d.instance.c_str(), d.mountDir.c_str(), "functionfs", 0, nullptr) != 0) {
        why = "cannot mount FunctionFS on " + d.mountDir + ": " + SystemError(errno);
        return false;
    }
    d.mounted = true;
    d.ep0.Reset(::open((d.mountDir + "/ep0").c_str(), O_RDWR | O_CLOEXEC));
    if (d.ep0.Get() < 0) {
        why = "cannot open " + d.mountDir + "/ep0: " + SystemError(errno);
        return false;
    }
    if (!d.WriteBlock(FunctionFsDescriptors(), "descriptors", why) || !d.WriteBlock(FunctionFsStrings(), "strings", why))
        return false;
    d.epIn.Reset(::open((d.mountDir + "/ep1").c_str(), O_RDWR | O_CLOEXEC));
    d.epOut.Reset(::open((d.mountDir + "/ep2").c_str(), O_RDWR | O_CLOEXEC));
    if (d.epIn.Get() < 0 || d.epOut.Get() < 0) {
        why = "cannot open the endpoints in " + d.mountDir + ": " + SystemError(errno);
        return false;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        why = "cannot make a pipe: " + SystemError(errno);
        return false;
    }
    d.wakeRead.Reset(pipeFds[0]);
    d.wakeWrite.Reset(pipeFds[1]);
    return true;
}

bool UsbGadget::Bind(std::string& why) {
    Impl& d = *impl_;
    // The threads take no stop signal (the main thread's to handle) but the
    // one that wakes them from an endpoint's read or write at the end.
    struct sigaction kick {};
    kick.sa_handler = OnKick;   // no SA_RESTART: the read is interrupted
    sigemptyset(&kick.sa_mask);
    ::sigaction(SIGUSR1, &kick, nullptr);
    for (auto loop : {&Impl::Ep0Loop, &Impl::OutLoop, &Impl::InLoop}) {
        const size_t index = d.threads.size();
        d.threads.emplace_back([&d, loop, index] {
            sigset_t stops;
            sigemptyset(&stops);
            sigaddset(&stops, SIGINT);
            sigaddset(&stops, SIGTERM);
            pthread_sigmask(SIG_BLOCK, &stops, nullptr);
            (d.*loop)();
            d.exited[index] = true;
        });
        d.handles.push_back(d.threads.back().native_handle());
    }
    std::vector<std::string> candidates;
    if (!d.options.udc.empty()) {
        candidates.push_back(d.options.udc);
    } else {
        std::vector<std::string> taken;
        for (const auto& other : Entries(kConfigfs)) taken.push_back(ReadLine(std::string(kConfigfs) + "/" + other + "/UDC"));
        for (const auto& name : Entries(kUdcClass)) {
            if (std::find(taken.begin(), taken.end(), name) == taken.end()) candidates.push_back(name);
        }
        if (candidates.empty()) {
            why = std::string("no free USB device controller in ") + kUdcClass +
                  " (this computer has no USB device port, or every one is in use)";
            return false;
        }
    }
    int error = 0;
    std::lock_guard lock(d.udcMutex);
    for (const auto& name : candidates) {
        // Another gadget may take a free controller first: then the next.
        if (WriteText(d.gadgetDir + "/UDC", name, &error)) {
            d.udc = name;
            d.bound = true;
            return true;
        }
        if (error != EBUSY || !d.options.udc.empty()) break;
    }
    why = "cannot bind the gadget to " + (d.options.udc.empty() ? std::string("a free controller") : d.options.udc) +
          ": " + SystemError(error);
    return false;
}

void UsbGadget::Unplug() { impl_->Unbind(); }

bool UsbGadget::PlugInAgain(std::string& why) {
    Impl& d = *impl_;
    std::lock_guard lock(d.udcMutex);
    if (d.bound) return true;
    int error = 0;
    {
        std::lock_guard state(d.mutex);
        if (d.hungUp) {
            why = "the calculator has hung up";
            return false;
        }
    }
    if (!WriteText(d.gadgetDir + "/UDC", d.udc, &error)) {
        why = "cannot bind the gadget to " + d.udc + " again: " + SystemError(error);
        return false;
    }
    d.bound = true;
    return true;
}

const std::string& UsbGadget::Udc() const { return impl_->udc; }

}  // namespace zsim
