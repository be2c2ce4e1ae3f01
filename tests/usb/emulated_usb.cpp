// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/usb/emulated_usb.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

namespace zusb {
namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";
constexpr const char* kDriverName = "zentrix_acm";
constexpr uint8_t kEndpointOut = 0x01;
constexpr uint8_t kEndpointIn = 0x81;

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

void Put16(std::vector<uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<uint8_t>(value & 0xff));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// Device descriptor, then the configuration: one interface, for the
// calculator vendor-specific with a bulk OUT and a bulk IN endpoint; a
// keyboard's is HID with one interrupt IN, a mass-storage one's has a bulk
// pair under its own class.
std::vector<uint8_t> Descriptors(const DeviceSetup& setup, unsigned maxPacket)
{
    const bool keyboard = setup.kind == InterfaceKind::Keyboard;
    const uint8_t interfaceClass = keyboard ? 3 : setup.kind == InterfaceKind::MassStorage ? 8 : 0xff;
    const uint8_t endpoints = keyboard ? 1 : 2;
    std::vector<uint8_t> d = {18, 1};
    Put16(d, 0x0200);
    d.insert(d.end(), {0, 0, 0, 64});
    Put16(d, setup.vendor);
    Put16(d, setup.product);
    Put16(d, 0x0100);
    d.insert(d.end(), {1, 2, 0, 1});
    d.insert(d.end(), {9, 2});
    Put16(d, static_cast<uint16_t>(9 + 9 + 7 * endpoints));
    d.insert(d.end(), {1, 1, 0, 0x80, 50});
    d.insert(d.end(), {9, 4, 0, 0, endpoints, interfaceClass, 0, 0, 0});
    if (keyboard) {
        d.insert(d.end(), {7, 5, kEndpointIn, 3, 8, 0, 10});
        return d;
    }
    for (uint8_t endpoint : {kEndpointOut, kEndpointIn}) {
        d.insert(d.end(), {7, 5, endpoint, 2});
        Put16(d, maxPacket);
        d.push_back(0);
    }
    return d;
}

template <class T>
T Load(const UMockdevIoctlData* data)
{
    T value;
    std::memcpy(&value, data->data, sizeof value);
    return value;
}

struct DataRef {
    UMockdevIoctlData* p = nullptr;
    DataRef() = default;
    explicit DataRef(UMockdevIoctlData* data) : p(data) {}
    ~DataRef()
    {
        if (p != nullptr) {
            g_object_unref(p);
        }
    }
    DataRef(DataRef&& other) noexcept : p(other.p) { other.p = nullptr; }
    DataRef& operator=(DataRef&& other) noexcept
    {
        std::swap(p, other.p);
        return *this;
    }
};

}  // namespace

bool ReexecWithUmockdevPreload(char** argv)
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr) {
        return true;
    }
    std::string value = kPreload;
    if (preload != nullptr && *preload != '\0') {
        value += std::string(":") + preload;
    }
    setenv("LD_PRELOAD", value.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("cannot restart with the umockdev preload");
    return false;
}

// ---------------------------------------------------------------------------

void CalculatorPeer::FromHost(const uint8_t* data, size_t n, std::vector<std::vector<uint8_t>>& replies)
{
    std::vector<uint8_t> input(data, data + n);
    for (;;) {
        if (!m_calc.Started() && !m_calc.HasPartialInput()) {
            m_calc = zsim::Calculator(m_options);
            if (m_restarted) {
                m_calc.MarkAfterRestart();
            }
        }
        m_calc.Receive(input);
        std::vector<uint8_t> out = m_calc.TakeOutput();
        if (!out.empty()) {
            replies.push_back(std::move(out));
        }
        if (m_calc.HungUp()) {
            Finish();
            return;
        }
        if (!m_calc.Ended()) {
            return;
        }
        input = m_calc.TakeLeftover();
        Finish();
        m_calc = zsim::Calculator(m_options);
        if (input.empty()) {
            return;
        }
    }
}

void CalculatorPeer::HostClosed()
{
    if (m_calc.Started() && !m_calc.Ended() && !m_calc.HungUp()) {
        m_calc.LinkLost();
        Finish();
        m_calc = zsim::Calculator(m_options);
    }
}

size_t CalculatorPeer::PacketsOfCurrentRun() const
{
    size_t count = 0;
    for (const zsim::Packet& packet : m_calc.Record().log) {
        count += packet.fromPc ? 1 : 0;
    }
    return count;
}

void CalculatorPeer::Finish()
{
    const zsim::RunRecord& run = m_calc.Record();
    if (zsim::ReadBack(run)) {
        m_readBacks.push_back(run);
        m_restarted = m_restarted && !zsim::ReadBackAnswered(run);
        return;
    }
    m_runs.push_back(run);
    // A calculator that installed an OS restarts at once with it.
    if (zsim::InstalledOs(run)) {
        m_options = zsim::RestartedOptions(m_options, run);
        m_restarted = true;
    } else {
        m_restarted = false;
    }
}

// ---------------------------------------------------------------------------

struct EmulatedUsbDevice::State {
    struct Urb {
        DataRef urb;      // the program's usbdevfs_urb
        DataRef buffer;   // its data buffer
        bool in = false;
        int length = 0;
        int filled = 0;
        int status = 0;
    };
    struct Connection {
        std::deque<std::unique_ptr<Urb>> waiting;   // bulk IN transfers not yet complete
        std::deque<std::unique_ptr<Urb>> refused;   // bulk OUT transfers the device NAKs
        std::deque<std::unique_ptr<Urb>> done;      // complete, to be reaped
    };

    unsigned maxPacket = 64;
    std::map<UMockdevIoctlClient*, Connection> connections;
    UMockdevIoctlClient* claimOwner = nullptr;
    bool heldElsewhere = false;
    bool gone = false;
    bool inHalted = false;
    bool stalledOnce = false;
    int replies = 0;
    int outTransfers = 0;
    std::deque<std::vector<uint8_t>> packets;   // bulk IN packets the device has ready
    Counters counters;
};

EmulatedUsbDevice::EmulatedUsbDevice(int devnum, const DeviceSetup& setup, std::unique_ptr<UsbPeer> peer)
    : m_devnum(devnum), m_setup(setup), m_peer(std::move(peer)), m_state(std::make_unique<State>())
{
    m_sysName = "1-" + std::to_string(devnum);
    m_state->maxPacket = setup.highSpeed ? 512 : 64;
    m_state->counters.driverBound = setup.kernelDriver;
}

EmulatedUsbDevice::~EmulatedUsbDevice()
{
    if (m_handler != nullptr) {
        g_signal_handlers_disconnect_by_data(m_handler, this);
        g_object_unref(m_handler);
    }
}

std::string EmulatedUsbDevice::Path() const
{
    return "usb:1:" + std::to_string(m_devnum);
}

std::string EmulatedUsbDevice::NodePath() const
{
    char path[64];
    std::snprintf(path, sizeof path, "/dev/bus/usb/001/%03d", m_devnum);
    return path;
}

std::vector<zsim::RunRecord> EmulatedUsbDevice::Runs()
{
    std::lock_guard lock(m_mutex);
    auto* calculator = dynamic_cast<CalculatorPeer*>(m_peer.get());
    return calculator != nullptr ? calculator->Runs() : std::vector<zsim::RunRecord>{};
}

void EmulatedUsbDevice::SetOsVersion(const std::string& version)
{
    std::lock_guard lock(m_mutex);
    if (auto* calculator = dynamic_cast<CalculatorPeer*>(m_peer.get())) {
        calculator->SetOsVersion(version);
    }
}

bool EmulatedUsbDevice::WaitForRuns(size_t n, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    auto* calculator = dynamic_cast<CalculatorPeer*>(m_peer.get());
    return calculator != nullptr &&
           m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return calculator->Runs().size() >= n; });
}

bool EmulatedUsbDevice::WaitForClaim(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_state->claimOwner != nullptr; });
}

bool EmulatedUsbDevice::WaitForPackets(size_t packets, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    auto* calculator = dynamic_cast<CalculatorPeer*>(m_peer.get());
    return calculator != nullptr &&
           m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return calculator->PacketsOfCurrentRun() >= packets; });
}

EmulatedUsbDevice::Counters EmulatedUsbDevice::Count()
{
    std::lock_guard lock(m_mutex);
    Counters counters = m_state->counters;
    counters.claimedNow = m_state->claimOwner != nullptr;
    counters.openConnections = static_cast<int>(m_state->connections.size());
    return counters;
}

void EmulatedUsbDevice::SetHeldElsewhere(bool held)
{
    std::lock_guard lock(m_mutex);
    m_state->heldElsewhere = held;
}

namespace {

// Every transfer under way ends with `status`.
void EndAll(EmulatedUsbDevice::State& s, int status)
{
    for (auto& [client, connection] : s.connections) {
        for (auto* pending : {&connection.waiting, &connection.refused}) {
            while (!pending->empty()) {
                pending->front()->status = status;
                connection.done.push_back(std::move(pending->front()));
                pending->pop_front();
            }
        }
    }
}

// Hands ready packets to the waiting IN transfers: a transfer is complete
// when its buffer is full or a short packet ended it; a packet larger than
// the room left is babble.
void FillWaiting(EmulatedUsbDevice::State& s, EmulatedUsbDevice::State::Connection& c)
{
    if (s.inHalted) {
        while (!c.waiting.empty()) {
            c.waiting.front()->status = -EPIPE;
            c.done.push_back(std::move(c.waiting.front()));
            c.waiting.pop_front();
        }
        return;
    }
    while (!c.waiting.empty() && !s.packets.empty()) {
        auto& urb = *c.waiting.front();
        const std::vector<uint8_t>& packet = s.packets.front();
        bool complete = false;
        if (packet.size() > static_cast<size_t>(urb.length - urb.filled)) {
            urb.status = -EOVERFLOW;
            ++s.counters.overflows;
            complete = true;
        } else {
            std::memcpy(urb.buffer.p->data + urb.filled, packet.data(), packet.size());
            urb.filled += static_cast<int>(packet.size());
            complete = packet.size() < s.maxPacket || urb.filled == urb.length;
        }
        s.packets.pop_front();
        if (complete) {
            c.done.push_back(std::move(c.waiting.front()));
            c.waiting.pop_front();
        }
    }
}

}  // namespace

void EmulatedUsbDevice::Unplug()
{
    std::lock_guard lock(m_mutex);
    m_state->gone = true;
    EndAll(*m_state, -ENODEV);
    m_changed.notify_all();
}

bool EmulatedUsbDevice::Unplugged()
{
    std::lock_guard lock(m_mutex);
    return m_state->gone;
}

void EmulatedUsbDevice::ClientVanished(void* rawClient)
{
    auto* client = static_cast<UMockdevIoctlClient*>(rawClient);
    std::lock_guard lock(m_mutex);
    State& s = *m_state;
    s.connections.erase(client);
    if (s.claimOwner == client) {
        s.claimOwner = nullptr;   // the kernel releases what a closed descriptor held
    }
    if (s.connections.empty() && !s.gone) {
        m_peer->HostClosed();
    }
    m_changed.notify_all();
}

bool EmulatedUsbDevice::HandleIoctl(void* rawClient)
{
    auto* client = static_cast<UMockdevIoctlClient*>(rawClient);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(m_mutex);
    State& s = *m_state;
    State::Connection& connection = s.connections[client];
    auto complete = [&](long result, int error) {
        umockdev_ioctl_client_complete(client, result, error);
        m_changed.notify_all();
        return true;
    };
    auto resolve = [&](UMockdevIoctlData* data, size_t offset, size_t length) {
        return DataRef(umockdev_ioctl_data_resolve(data, offset, length, nullptr));
    };

    if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) {
        FillWaiting(s, connection);
        if (connection.done.empty()) {
            return complete(-1, s.gone ? ENODEV : EAGAIN);
        }
        std::unique_ptr<State::Urb> urb = std::move(connection.done.front());
        connection.done.pop_front();
        auto* fields = reinterpret_cast<usbdevfs_urb*>(urb->urb.p->data);
        fields->status = urb->status;
        fields->actual_length = urb->filled;
        DataRef where = resolve(arg, 0, sizeof(void*));
        if (where.p == nullptr || !umockdev_ioctl_data_set_ptr(where.p, 0, urb->urb.p)) {
            return complete(-1, EFAULT);
        }
        return complete(0, 0);
    }
    if (s.gone) {
        return complete(-1, ENODEV);
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        DataRef caps = resolve(arg, 0, sizeof(uint32_t));
        const uint32_t value = USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                               USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps.p->data, &value, sizeof value);
        return complete(0, 0);
    }
    case USBDEVFS_GETDRIVER: {
        DataRef query = resolve(arg, 0, sizeof(usbdevfs_getdriver));
        auto* getdriver = reinterpret_cast<usbdevfs_getdriver*>(query.p->data);
        if (getdriver->interface != 0) {
            return complete(-1, EINVAL);
        }
        const char* name = s.counters.driverBound ? kDriverName
                           : (s.claimOwner != nullptr || s.heldElsewhere) ? "usbfs"
                                                                            : nullptr;
        if (name == nullptr) {
            return complete(-1, ENODATA);
        }
        std::snprintf(getdriver->driver, sizeof getdriver->driver, "%s", name);
        return complete(0, 0);
    }
    case USBDEVFS_IOCTL: {
        DataRef command = resolve(arg, 0, sizeof(usbdevfs_ioctl));
        const auto* ioctl = reinterpret_cast<const usbdevfs_ioctl*>(command.p->data);
        if (ioctl->ifno != 0) {
            return complete(-1, EINVAL);
        }
        if (static_cast<unsigned long>(ioctl->ioctl_code) == USBDEVFS_DISCONNECT) {
            if (!s.counters.driverBound) {
                return complete(-1, ENODATA);
            }
            s.counters.driverBound = false;
            ++s.counters.detaches;
            return complete(0, 0);
        }
        if (static_cast<unsigned long>(ioctl->ioctl_code) == USBDEVFS_CONNECT) {
            if (s.claimOwner != nullptr) {
                return complete(-1, EBUSY);
            }
            if (!s.counters.driverBound && m_setup.kernelDriver) {
                s.counters.driverBound = true;
                ++s.counters.reattaches;
            }
            return complete(0, 0);
        }
        return complete(-1, ENOTTY);
    }
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_CLAIMINTERFACE: {
        DataRef number = resolve(arg, 0, sizeof(unsigned));
        if (Load<unsigned>(number.p) != 0) {
            return complete(-1, EINVAL);
        }
        if (request == USBDEVFS_DISCONNECT_CLAIM && s.counters.driverBound) {
            s.counters.driverBound = false;
            ++s.counters.detaches;
        }
        if (s.claimOwner == client) {
            return complete(0, 0);
        }
        if (s.counters.driverBound || s.claimOwner != nullptr || s.heldElsewhere) {
            ++s.counters.busyRefusals;
            return complete(-1, EBUSY);
        }
        s.claimOwner = client;
        ++s.counters.claims;
        return complete(0, 0);
    }
    case USBDEVFS_RELEASEINTERFACE: {
        if (s.claimOwner != client) {
            return complete(-1, EINVAL);
        }
        s.claimOwner = nullptr;
        ++s.counters.releases;
        return complete(0, 0);
    }
    case USBDEVFS_CLEAR_HALT: {
        ++s.counters.clearHalts;
        s.inHalted = false;
        return complete(0, 0);
    }
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
        return complete(0, 0);
    case USBDEVFS_SUBMITURB: {
        DataRef urbData = resolve(arg, 0, sizeof(usbdevfs_urb));
        if (urbData.p == nullptr) {
            return complete(-1, EFAULT);
        }
        const auto* fields = reinterpret_cast<const usbdevfs_urb*>(urbData.p->data);
        if (fields->type != USBDEVFS_URB_TYPE_BULK || (fields->endpoint != kEndpointIn && fields->endpoint != kEndpointOut)) {
            return complete(-1, EINVAL);
        }
        if (s.claimOwner != client) {
            return complete(-1, EPERM);
        }
        auto urb = std::make_unique<State::Urb>();
        urb->in = fields->endpoint == kEndpointIn;
        urb->length = fields->buffer_length;
        urb->buffer = resolve(urbData.p, G_STRUCT_OFFSET(usbdevfs_urb, buffer), static_cast<size_t>(urb->length));
        if (urb->length > 0 && urb->buffer.p == nullptr) {
            return complete(-1, EFAULT);
        }
        urb->urb = std::move(urbData);
        if (urb->in) {
            connection.waiting.push_back(std::move(urb));
            FillWaiting(s, connection);
            return complete(0, 0);
        }
        // Bulk OUT: the device takes the bytes at once, or NAKs for ever.
        if (m_setup.nakOutAfterTransfers >= 0 && s.outTransfers >= m_setup.nakOutAfterTransfers) {
            connection.refused.push_back(std::move(urb));
            return complete(0, 0);
        }
        ++s.outTransfers;
        std::vector<std::vector<uint8_t>> replies;
        m_peer->FromHost(urb->buffer.p->data, static_cast<size_t>(urb->length), replies);
        s.counters.bytesOut += static_cast<uint64_t>(urb->length);
        urb->filled = urb->length;
        connection.done.push_back(std::move(urb));
        for (const std::vector<uint8_t>& reply : replies) {
            if (m_setup.stallAfterReplies >= 0 && s.replies >= m_setup.stallAfterReplies && !s.stalledOnce) {
                s.inHalted = true;
                s.stalledOnce = true;
            }
            ++s.replies;
            if (s.inHalted) {
                continue;   // a halted endpoint sends nothing
            }
            if (m_setup.strayZeroLengthPackets) {
                s.packets.emplace_back();
            }
            const size_t piece = m_setup.replyPiece > 0 ? m_setup.replyPiece : reply.size();
            for (size_t at = 0; at < reply.size(); at += piece) {
                const size_t end = std::min(reply.size(), at + piece);
                for (size_t p = at; p < end; p += s.maxPacket) {
                    s.packets.emplace_back(reply.begin() + static_cast<long>(p),
                                           reply.begin() + static_cast<long>(std::min(end, p + s.maxPacket)));
                }
                if ((end - at) % s.maxPacket == 0) {
                    s.packets.emplace_back();   // a whole number of packets ends with a zero-length one
                }
            }
        }
        if (m_peer->Unplugs()) {
            s.gone = true;
            EndAll(s, -ENODEV);
        }
        return complete(0, 0);
    }
    case USBDEVFS_DISCARDURB: {
        const auto address = Load<uintptr_t>(arg);
        for (auto* pending : {&connection.waiting, &connection.refused}) {
            for (auto it = pending->begin(); it != pending->end(); ++it) {
                if ((*it)->urb.p->client_addr == address) {
                    (*it)->status = -ENOENT;
                    connection.done.push_back(std::move(*it));
                    pending->erase(it);
                    return complete(0, 0);
                }
            }
        }
        return complete(-1, EINVAL);   // already complete
    }
    default:
        return complete(-1, ENOTTY);
    }
}

// ---------------------------------------------------------------------------

namespace {

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device)
{
    return static_cast<EmulatedUsbDevice*>(device)->HandleIoctl(client) ? TRUE : FALSE;
}

void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device)
{
    static_cast<EmulatedUsbDevice*>(device)->ClientVanished(client);
}

}  // namespace

EmulatedUsbBus::EmulatedUsbBus()
{
    m_testbed = umockdev_testbed_new();
}

EmulatedUsbBus::~EmulatedUsbBus()
{
    m_devices.clear();
    if (m_testbed != nullptr) {
        g_object_unref(m_testbed);
    }
}

void EmulatedUsbBus::AddSerialPort(const std::string& name)
{
    const std::string record = "P: /devices/platform/serial8250/tty/" + name + "\nN: " + name +
                               "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + name + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(static_cast<UMockdevTestbed*>(m_testbed), record.c_str(), &error)) {
        std::fprintf(stderr, "cannot add the serial port: %s\n", error != nullptr ? error->message : "?");
        g_clear_error(&error);
    }
}

std::string EmulatedUsbBus::RootDir() const
{
    gchar* root = umockdev_testbed_get_root_dir(static_cast<UMockdevTestbed*>(m_testbed));
    std::string text = root != nullptr ? root : "";
    g_free(root);
    return text;
}

EmulatedUsbDevice& EmulatedUsbBus::Plug(const DeviceSetup& setup, std::unique_ptr<UsbPeer> peer)
{
    if (peer == nullptr) {
        peer = std::make_unique<CalculatorPeer>();
    }
    const int devnum = m_nextDevnum++;
    std::unique_ptr<EmulatedUsbDevice> device(new EmulatedUsbDevice(devnum, setup, std::move(peer)));
    auto* testbed = static_cast<UMockdevTestbed*>(m_testbed);
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    device->m_handler = handler;
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(OnIoctl), device.get());
    g_signal_connect(handler, "client-vanished", G_CALLBACK(OnVanished), device.get());
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, device->NodePath().c_str(), handler, &error)) {
        std::fprintf(stderr, "cannot attach the ioctl handler: %s\n", error != nullptr ? error->message : "?");
        g_clear_error(&error);
    }
    char number[8];
    std::snprintf(number, sizeof number, "%03d", devnum);
    const std::string record =
        "P: /devices/pci0000:00/0000:00:14.0/usb1/" + device->m_sysName + "\n" +
        "N: bus/usb/001/" + number + "\n" +
        "E: SUBSYSTEM=usb\n" +
        "E: DEVTYPE=usb_device\n" +
        "E: DEVNAME=/dev/bus/usb/001/" + number + "\n" +
        "E: BUSNUM=001\n" +
        "E: DEVNUM=" + number + "\n" +
        "A: busnum=1\n" +
        "A: devnum=" + std::to_string(devnum) + "\n" +
        "A: bConfigurationValue=1\n" +
        "A: speed=" + (setup.highSpeed ? "480" : "12") + "\n" +
        "A: manufacturer=" + setup.manufacturer + "\n" +
        "A: product=" + setup.productName + "\n" +
        (setup.serialNumber.empty() ? std::string() : "A: serial=" + setup.serialNumber + "\n") +
        "H: descriptors=" + Hex(Descriptors(setup, setup.highSpeed ? 512 : 64)) + "\n";
    if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
        std::fprintf(stderr, "cannot add the emulated device: %s\n", error != nullptr ? error->message : "?");
        g_clear_error(&error);
    }
    m_devices.push_back(std::move(device));
    return *m_devices.back();
}

void EmulatedUsbBus::Remove(EmulatedUsbDevice& device)
{
    device.Unplug();
    auto* testbed = static_cast<UMockdevTestbed*>(m_testbed);
    const std::string syspath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + device.m_sysName;
    umockdev_testbed_uevent(testbed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed, syspath.c_str());
}

}  // namespace zusb
