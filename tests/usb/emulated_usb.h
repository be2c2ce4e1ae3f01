// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Emulated USB calculators for tests and benchmarks: a umockdev testbed fakes
// /sys and /dev/bus/usb, and each emulated device answers the usbfs ioctls of
// whoever opens its node. Bulk OUT bytes go to a peer (normally the simulated
// calculator); the peer's replies come back on bulk IN in packets of the
// endpoint's wMaxPacketSize, each reply ending with a short packet, as a real
// device sends them.
//
// The process that owns the testbed runs with libumockdev-preload.so loaded
// (see ReexecWithUmockdevPreload); the programs it starts inherit the preload
// and UMOCKDEV_DIR, so their libusb finds the emulated devices.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/calculator.h"
#include "sim/verdict.h"

namespace zusb {

// Restarts the program with libumockdev-preload.so.0 in LD_PRELOAD unless it
// is there already. Returns only when it is (or the restart failed: false).
bool ReexecWithUmockdevPreload(char** argv);

// What answers the host's bulk OUT bytes. Called on the testbed's worker
// thread, with the device's lock held.
class UsbPeer {
public:
    virtual ~UsbPeer() = default;
    // Takes bytes the host wrote; appends each reply the device sends as one
    // piece to `replies`.
    virtual void FromHost(const uint8_t* data, size_t n, std::vector<std::vector<uint8_t>>& replies) = 0;
    // True once the device is to vanish from the bus.
    virtual bool Unplugs() const { return false; }
    // The host closed the device.
    virtual void HostClosed() {}
};

// The simulated calculator as a peer: runs follow one another as on the pty.
class CalculatorPeer : public UsbPeer {
public:
    explicit CalculatorPeer(zsim::Options options = {}) : m_options(options), m_calc(options) {}
    void FromHost(const uint8_t* data, size_t n, std::vector<std::vector<uint8_t>>& replies) override;
    bool Unplugs() const override { return m_calc.HungUp(); }
    void HostClosed() override;
    // The runs, but for the read-backs after an update's restart.
    const std::vector<zsim::RunRecord>& Runs() const { return m_runs; }
    const std::vector<zsim::RunRecord>& ReadBacks() const { return m_readBacks; }
    // The calculator runs `version` from its next run on (as if it had
    // been given an older system back, to be updated again).
    void SetOsVersion(const std::string& version) { m_options.osVersion = version; }
    // Packets the calculator has received in the current run.
    size_t PacketsOfCurrentRun() const;

private:
    void Finish();
    zsim::Options m_options;
    zsim::Calculator m_calc;
    std::vector<zsim::RunRecord> m_runs;
    std::vector<zsim::RunRecord> m_readBacks;
    bool m_restarted = false;   // the next run is the first after an update's restart
};

// What the device's one interface is: the calculator's vendor-specific bulk
// pair, or something the program must never offer as a calculator.
enum class InterfaceKind { Calculator, Keyboard, MassStorage };

struct DeviceSetup {
    InterfaceKind kind = InterfaceKind::Calculator;
    std::string serialNumber;      // empty: none
    uint16_t vendor = 0x1a2b;
    uint16_t product = 0x5e01;
    bool highSpeed = false;        // wMaxPacketSize 512 instead of 64
    bool kernelDriver = false;     // a kernel driver is bound to interface 0 when plugged in
    std::string manufacturer = "Zentrix";
    std::string productName = "Zentrix graphing calculator";
    // Faults of the device itself.
    size_t replyPiece = 0;          // > 0: every reply goes out as separate transfers of at most this many bytes
    bool strayZeroLengthPackets = false;   // a zero-length packet before every reply
    int stallAfterReplies = -1;     // >= 0: bulk IN halts once this many replies went out
    int nakOutAfterTransfers = -1;  // >= 0: bulk OUT takes nothing more (NAKs for ever) after this many transfers
};

class EmulatedUsbBus;

class EmulatedUsbDevice {
public:
    ~EmulatedUsbDevice();
    EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
    EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;

    std::string Path() const;          // usb:BUS:ADDRESS
    std::string NodePath() const;      // /dev/bus/usb/BBB/DDD
    std::string SysName() const { return m_sysName; }

    // Runs `f(peer)` under the device's lock.
    template <class F>
    auto WithPeer(F f)
    {
        std::lock_guard lock(m_mutex);
        return f(*m_peer);
    }
    // The calculator peer's finished runs (empty for another peer).
    std::vector<zsim::RunRecord> Runs();
    // See CalculatorPeer::SetOsVersion; nothing for another peer.
    void SetOsVersion(const std::string& version);
    // Waits until `n` runs have finished; false on timeout.
    bool WaitForRuns(size_t n, int timeoutMs);
    // Waits until a program holds interface 0; false on timeout.
    bool WaitForClaim(int timeoutMs);
    // Waits until the calculator has received `packets` packets in its
    // current run; false on timeout.
    bool WaitForPackets(size_t packets, int timeoutMs);

    // Pulls the cable: transfers under way end with ENODEV, so does every
    // later request, and the device leaves the bus.
    void Unplug();
    bool Unplugged();

    // What the device saw.
    struct Counters {
        int claims = 0;               // successful claims of interface 0
        int busyRefusals = 0;         // claims refused because someone holds it
        int releases = 0;
        int clearHalts = 0;
        int detaches = 0;             // kernel driver unbound by a program
        int reattaches = 0;           // kernel driver bound again by a program
        bool driverBound = false;     // a kernel driver holds interface 0 now
        bool claimedNow = false;      // a program holds interface 0 now
        int openConnections = 0;      // the device node is open this many times
        uint64_t bytesOut = 0;        // bulk OUT bytes received
        int overflows = 0;            // IN transfers that ended in babble
    };
    Counters Count();

    // Lets a test hold interface 0 as if another program had claimed it.
    void SetHeldElsewhere(bool held);

    struct State;   // the device's side of usbfs

private:
    friend class EmulatedUsbBus;
    EmulatedUsbDevice(int devnum, const DeviceSetup& setup, std::unique_ptr<UsbPeer> peer);

    int m_devnum;
    std::string m_sysName;
    DeviceSetup m_setup;
    std::unique_ptr<UsbPeer> m_peer;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::unique_ptr<State> m_state;
    void* m_handler = nullptr;   // UMockdevIoctlBase*

public:
    // Called by the ioctl handler (worker thread).
    bool HandleIoctl(void* client);
    void ClientVanished(void* client);
};

class EmulatedUsbBus {
public:
    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    bool Ok() const { return m_testbed != nullptr; }
    // Plugs in a device served by `peer` (a CalculatorPeer when null).
    EmulatedUsbDevice& Plug(const DeviceSetup& setup = {}, std::unique_ptr<UsbPeer> peer = nullptr);
    // Removes the device from /sys and /dev (after Unplug).
    void Remove(EmulatedUsbDevice& device);
    // Adds a serial port /dev/NAME (a tty device with no USB behind it).
    void AddSerialPort(const std::string& name);
    std::string RootDir() const;

private:
    friend class EmulatedUsbDevice;
    void* m_testbed = nullptr;   // UMockdevTestbed*
    int m_nextDevnum = 2;
    std::vector<std::unique_ptr<EmulatedUsbDevice>> m_devices;
};

}  // namespace zusb
