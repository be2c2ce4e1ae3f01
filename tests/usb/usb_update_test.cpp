// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update in console mode against simulated calculators
// served as emulated USB devices, found only through ZENTRIX_USB_IDS.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"
#include "tests/e2e/console_texts.h"
#include "tests/usb/emulated_usb.h"

namespace {

namespace fs = std::filesystem;

// Far longer than any run here takes: only a hang reaches it.
constexpr int kHangGuardMs = 60000;

using namespace console_texts;
const std::string kFailed = Error("Update failed.");
const std::string kOneUpdate = "ok\nok\nok\ncancel\n";

class UsbUpdate : public ::testing::Test {
protected:
    UsbUpdate()
    {
        EXPECT_TRUE(m_bus.Ok());
        m_dir = MakeDemoFolder("zentrix-usb", ZENTRIX_SIM_BIN);
    }
    ~UsbUpdate() override
    {
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    zusb::EmulatedUsbDevice& Plug(zusb::DeviceSetup setup = {}, zsim::Options calculator = {})
    {
        return m_bus.Plug(setup, std::make_unique<zusb::CalculatorPeer>(calculator));
    }

    ProcessResult Update(const std::string& answers, const std::string& ids = "1a2b:5e01")
    {
        return RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string(), "0"},
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=" + ids,
                           "TMPDIR=" + (m_dir / "scratch").string()},
                          answers, kHangGuardMs);
    }

    // zentrix-update with `arguments` and no configuration but `ids`.
    ProcessResult RunUpdater(const std::vector<std::string>& arguments, const std::string& ids = "",
                             const std::string& answers = "")
    {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv,
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=" + ids,
                           "XDG_CONFIG_HOME=" + (m_dir / "none").string(), "ZENTRIX_MACHINE_CONFIG_DIR=/nonexistent",
                           "XDG_STATE_HOME=" + (m_dir / "state").string(), "TMPDIR=" + (m_dir / "scratch").string()},
                          answers, kHangGuardMs);
    }

    // A device that is no calculator: its driver still bound, never
    // detached, claimed or written.
    static void ExpectUntouched(zusb::EmulatedUsbDevice& device)
    {
        const auto counters = device.Count();
        EXPECT_EQ(counters.detaches, 0);
        EXPECT_EQ(counters.claims, 0);
        EXPECT_EQ(counters.bytesOut, 0u);
        EXPECT_TRUE(counters.driverBound);
    }

    // The simulated calculator's verdict on run `number` (1-based).
    std::string Verdict(zusb::EmulatedUsbDevice& device, size_t number)
    {
        const std::vector<zsim::RunRecord> runs = device.Runs();
        if (runs.size() < number) {
            return "no run " + std::to_string(number);
        }
        return zsim::JudgeRun(static_cast<int>(number), runs[number - 1],
                              {Image("UpdateExe.bin"), Image("UpdateCode.bin")})
            .line;
    }

    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }
    bool ScratchIsEmpty() const { return fs::is_empty(m_dir / "scratch"); }

    zusb::EmulatedUsbBus m_bus;
    fs::path m_dir;
};

const std::string kIntact =
    "run 1: images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000";

TEST_F(UsbUpdate, BothRoutesBothBlockSizesAtBothSpeedsDeliverIntactImages)
{
    for (const bool highSpeed : {false, true}) {
        for (const bool osRoute : {true, false}) {
            for (const bool largeBlocks : {true, false}) {
                SCOPED_TRACE(std::string(highSpeed ? "high speed" : "full speed") + (osRoute ? ", OS route" : ", stub route") +
                             (largeBlocks ? ", 1024-byte blocks" : ", 256-byte blocks"));
                zsim::Options calculator;
                calculator.ackIdentityRequest = osRoute;
                calculator.ackBlockSizeProbe = largeBlocks;
                zusb::DeviceSetup setup;
                setup.highSpeed = highSpeed;
                // A fresh product ID each time, so that only this device matches.
                setup.product = static_cast<uint16_t>(0x5e10 + (highSpeed ? 4 : 0) + (osRoute ? 2 : 0) + (largeBlocks ? 1 : 0));
                zusb::EmulatedUsbDevice& device = Plug(setup, calculator);
                char ids[16];
                std::snprintf(ids, sizeof ids, "1a2b:%04x", setup.product);
                const ProcessResult run = Update(kOneUpdate, ids);
                EXPECT_FALSE(run.killed);
                EXPECT_EQ(run.exitCode, 18) << run.err;
                EXPECT_EQ(run.out, kPrompts + kComplete);
                ASSERT_TRUE(device.WaitForRuns(1, 5000));
                EXPECT_EQ(Verdict(device, 1), kIntact);
                const zsim::RunRecord record = device.Runs().front();
                EXPECT_EQ(record.blockSize, largeBlocks ? 1024 : 256);
                EXPECT_EQ(record.stubRoute, !osRoute);
                const auto counters = device.Count();
                EXPECT_EQ(counters.overflows, 0);
                EXPECT_EQ(counters.releases, counters.claims);
                EXPECT_FALSE(counters.claimedNow);
                EXPECT_TRUE(ScratchIsEmpty());
            }
        }
    }
}

TEST_F(UsbUpdate, ABoundKernelDriverIsDetachedForTheRunAndGivenBackAfterIt)
{
    zusb::DeviceSetup setup;
    setup.kernelDriver = true;
    zusb::EmulatedUsbDevice& device = Plug(setup);
    const ProcessResult run = Update(kOneUpdate);
    EXPECT_EQ(run.exitCode, 18) << run.err;
    EXPECT_EQ(run.out, kPrompts + kComplete);
    ASSERT_TRUE(device.WaitForRuns(1, 5000));
    EXPECT_EQ(Verdict(device, 1), kIntact);
    const auto counters = device.Count();
    EXPECT_EQ(counters.detaches, 1);
    EXPECT_EQ(counters.reattaches, 1);
    EXPECT_TRUE(counters.driverBound);
    EXPECT_FALSE(counters.claimedNow);
}

TEST_F(UsbUpdate, OfSeveralCalculatorsWithTheSameIdsTheFirstFreeOneIsUsed)
{
    // The first one goes silent after the probe, so that the run on it holds
    // it while a second program starts.
    zsim::Options silent;
    silent.fault = {zsim::FaultKind::GoSilent, 2};
    zusb::EmulatedUsbDevice& first = Plug({}, silent);
    zusb::EmulatedUsbDevice& second = Plug();
    zusb::EmulatedUsbDevice& third = Plug();

    ProcessResult held;
    std::thread holder([&] { held = Update(kOneUpdate); });
    ASSERT_TRUE(first.WaitForPackets(2, 20000));
    const ProcessResult run = Update(kOneUpdate);
    EXPECT_EQ(run.exitCode, 18) << run.err;
    EXPECT_EQ(run.out, kPrompts + kComplete);
    ASSERT_TRUE(second.WaitForRuns(1, 5000));
    EXPECT_EQ(Verdict(second, 1), kIntact);
    EXPECT_EQ(third.Count().bytesOut, 0u);

    // Pulling the silent one ends the run that waited on it.
    first.Unplug();
    holder.join();
    EXPECT_FALSE(held.killed);
    EXPECT_EQ(held.exitCode, 18);
    EXPECT_EQ(held.out, kPrompts + kFailed);

    // With none held, the first is used again (given its old system back).
    m_bus.Remove(first);
    second.SetOsVersion("01.00.0000");
    const ProcessResult again = Update(kOneUpdate);
    EXPECT_EQ(again.out, kPrompts + kComplete);
    ASSERT_TRUE(second.WaitForRuns(2, 5000));
    EXPECT_EQ(third.Count().bytesOut, 0u);
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(UsbUpdate, UnpluggedAnywhereTheRunEndsAsFailedAtOnce)
{
    // A clean run first, to know where the phases begin.
    zusb::EmulatedUsbDevice& clean = Plug();
    ASSERT_EQ(Update(kOneUpdate).out, kPrompts + kComplete);
    ASSERT_TRUE(clean.WaitForRuns(1, 5000));
    const zsim::RunRecord record = clean.Runs().front();
    std::vector<std::vector<uint8_t>> sent;
    for (const zsim::Packet& packet : record.log) {
        if (packet.fromPc) {
            sent.push_back(packet.bytes);
        }
    }
    m_bus.Remove(clean);
    auto firstCommand = [&](const char* code) {
        for (size_t i = 0; i < sent.size(); ++i) {
            if (sent[i].size() > 3 && sent[i][0] == 0x01 && sent[i][1] == code[0] && sent[i][2] == code[1]) {
                return static_cast<int>(i);
            }
        }
        ADD_FAILURE() << "no command " << code;
        return 0;
    };
    const int total = static_cast<int>(sent.size());
    const int stub = firstCommand("56");
    const int os = firstCommand("57");
    // Handshake, identity phase, updater stub, OS image, the tail check.
    const std::vector<int> points = {0, 1, 2, 3, 40, 200, stub, stub + 1, stub + 2, os, os + 1, (os + total) / 2, total - 2};
    for (const int at : points) {
        SCOPED_TRACE("unplugged at packet " + std::to_string(at) + " of " + std::to_string(total));
        zsim::Options options;
        options.fault = {zsim::FaultKind::HangUp, at};
        zusb::EmulatedUsbDevice& device = Plug({}, options);
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult run = Update(kOneUpdate);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(run.killed);
        EXPECT_EQ(run.exitCode, 18);
        EXPECT_EQ(run.out, kPrompts + kFailed);
        EXPECT_TRUE(ScratchIsEmpty());
        EXPECT_TRUE(device.Unplugged());
        // A hang guard only: a clean run takes about a second.
        EXPECT_LT(took, std::chrono::seconds(20));
        RecordProperty("unplugged_at_" + std::to_string(at) + "_ms",
                       static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        m_bus.Remove(device);
    }

    // Pulled right after the calculator took the Terminate: the update is done.
    zusb::EmulatedUsbDevice& last = Plug();
    std::thread puller([&] {
        if (last.WaitForRuns(1, 20000)) {
            last.Unplug();
        }
    });
    const ProcessResult run = Update(kOneUpdate);
    puller.join();
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kComplete);
    EXPECT_EQ(Verdict(last, 1), kIntact);
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(UsbUpdate, StallsShortPacketsAndZeroLengthPackets)
{
    // Replies cut into transfers of 7 bytes, or of one byte each.
    for (const size_t piece : {size_t(7), size_t(1)}) {
        SCOPED_TRACE("replies in pieces of " + std::to_string(piece));
        zusb::DeviceSetup setup;
        setup.replyPiece = piece;
        setup.product = static_cast<uint16_t>(0x5e20 + piece);
        zusb::EmulatedUsbDevice& device = Plug(setup);
        char ids[16];
        std::snprintf(ids, sizeof ids, "1a2b:%04x", setup.product);
        EXPECT_EQ(Update(kOneUpdate, ids).out, kPrompts + kComplete);
        ASSERT_TRUE(device.WaitForRuns(1, 5000));
        EXPECT_EQ(Verdict(device, 1), kIntact);
        m_bus.Remove(device);
    }
    {
        SCOPED_TRACE("a zero-length packet before every reply, at both speeds");
        for (const bool highSpeed : {false, true}) {
            zusb::DeviceSetup setup;
            setup.strayZeroLengthPackets = true;
            setup.highSpeed = highSpeed;
            zusb::EmulatedUsbDevice& device = Plug(setup);
            EXPECT_EQ(Update(kOneUpdate).out, kPrompts + kComplete);
            ASSERT_TRUE(device.WaitForRuns(1, 5000));
            EXPECT_EQ(Verdict(device, 1), kIntact);
            m_bus.Remove(device);
        }
    }
    for (const int at : {0, 3, 300}) {
        SCOPED_TRACE("bulk IN halts before reply " + std::to_string(at));
        zusb::DeviceSetup setup;
        setup.stallAfterReplies = at;
        zusb::EmulatedUsbDevice& device = Plug(setup);
        const ProcessResult stalled = Update(kOneUpdate);
        EXPECT_FALSE(stalled.killed);
        EXPECT_EQ(stalled.out, kPrompts + kFailed);
        EXPECT_TRUE(ScratchIsEmpty());
        // The halt was cleared: the next program updates the calculator.
        EXPECT_GE(device.Count().clearHalts, 1);
        EXPECT_EQ(Update(kOneUpdate).out, kPrompts + kComplete);
        const std::vector<zsim::RunRecord> runs = device.Runs();
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(zsim::JudgeRun(1, runs.back(), {Image("UpdateExe.bin"), Image("UpdateCode.bin")}).line, kIntact);
        m_bus.Remove(device);
    }
}

TEST_F(UsbUpdate, ASilentCalculatorKeepsTheRunWaitingUntilItIsPulled)
{
    // Until a reply time limit exists the run waits without one: what must
    // hold is that the wait stays responsive and ends cleanly when the
    // device goes.
    for (const int at : {0, 100}) {
        SCOPED_TRACE("silent from packet " + std::to_string(at));
        zsim::Options options;
        options.fault = {zsim::FaultKind::GoSilent, at};
        zusb::EmulatedUsbDevice& device = Plug({}, options);
        ProcessResult run;
        std::thread program([&] { run = Update(kOneUpdate); });
        ASSERT_TRUE(device.WaitForPackets(static_cast<size_t>(at) + 1, 20000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(device.Count().claimedNow);
        device.Unplug();
        program.join();
        EXPECT_FALSE(run.killed);
        EXPECT_EQ(run.out, kPrompts + kFailed);
        EXPECT_TRUE(ScratchIsEmpty());
        m_bus.Remove(device);
    }
}

// A calculator whose bulk OUT endpoint stops taking data mid-image: the run
// ends by itself at the reply limit, or at Ctrl+C once 10 s have passed;
// either way as a failure that says where the calculator stopped.
TEST_F(UsbUpdate, ACalculatorThatStopsTakingDataEndsAtTheLimitOrAtCtrlC)
{
    zusb::DeviceSetup setup;
    setup.nakOutAfterTransfers = 300;
    zusb::EmulatedUsbDevice& device = Plug(setup);
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult limited =
        RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string(), "0"},
                   {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=1a2b:5e01", "ZENTRIX_REPLY_TIMEOUT=3",
                    "TMPDIR=" + (m_dir / "scratch").string()},
                   kOneUpdate, kHangGuardMs);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_FALSE(limited.killed);
    EXPECT_EQ(limited.out, kPrompts + kFailed);
    EXPECT_NE(limited.err.find("the OS image, block "), std::string::npos) << limited.err;
    EXPECT_NE(limited.err.find(": the calculator stopped taking data for 3 s"), std::string::npos) << limited.err;
    EXPECT_TRUE(ScratchIsEmpty());
    m_bus.Remove(device);

    // Without a limit: Ctrl+C is refused at first, and ends the run once
    // the calculator has taken nothing for 10 s.
    zusb::EmulatedUsbDevice& again = Plug(setup);
    CBackgroundProcess program({"/bin/sh", "-c",
                                "exec env ZENTRIX_UI=console ZENTRIX_DEVICES= ZENTRIX_USB_IDS=1a2b:5e01 TMPDIR='" +
                                    (m_dir / "scratch").string() + "' '" ZENTRIX_UPDATE_BIN "' '" +
                                    (m_dir / "img").string() + "' 2>&1 <<'EOF'\nok\nok\nok\nEOF\n"});
    ASSERT_TRUE(again.WaitForPackets(250, 20000));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    kill(program.Pid(), SIGINT);
    std::this_thread::sleep_for(std::chrono::seconds(8));
    kill(program.Pid(), SIGINT);
    const std::string seen = program.ReadRest();
    EXPECT_EQ(program.Wait(), 18);
    EXPECT_NE(seen.find("Ctrl+C stops it only once the calculator has stopped answering"), std::string::npos) << seen;
    EXPECT_NE(seen.find("stopped after the calculator had taken no data for 1"), std::string::npos) << seen;
    EXPECT_TRUE(ScratchIsEmpty());
    m_bus.Remove(again);
}

// The station's output (rows on standard error, boxes on standard output),
// read line by line as it comes.
class CUsbStation {
public:
    // `debug`: its decisions are said too (ZENTRIX_DEBUG=1).
    CUsbStation(const fs::path& images, const fs::path& scratch, bool debug = false)
        : m_process({"/bin/sh", "-c",
                     std::string("exec env ") + (debug ? "ZENTRIX_DEBUG=1 " : "") +
                         "ZENTRIX_UI=console ZENTRIX_DEVICES= ZENTRIX_USB_IDS=1a2b:5e01 TMPDIR='" +
                         scratch.string() + "' '" ZENTRIX_UPDATE_BIN "' --watch '" + images.string() +
                         "' 2>&1 <<'EOF'\nok\nok\nok\nEOF\n"})
    {
    }
    // Reads until a line that starts with `start`; false when the output ended.
    bool WaitFor(const std::string& start)
    {
        for (int empty = 0; empty < 100;) {
            const std::string got = m_process.ReadLine();
            m_seen += got + "\n";
            if (console_texts::WithoutTimes(got).rfind(start, 0) == 0) {
                return true;
            }
            empty = got.empty() ? empty + 1 : 0;
        }
        return false;
    }
    void Signal(int signal) const { kill(m_process.Pid(), signal); }
    int Wait()
    {
        m_seen += m_process.ReadRest();
        return m_process.Wait();
    }
    const std::string& Seen() const { return m_seen; }

private:
    CBackgroundProcess m_process;
    std::string m_seen;
};

TEST_F(UsbUpdate, StationUpdatesCalculatorsPluggedInWhileASilentOneIsHeldAndForgetsThoseUnplugged)
{
    CUsbStation station(m_dir / "img", m_dir / "scratch", true);
    ASSERT_TRUE(station.WaitFor("Station:")) << station.Seen();

    zusb::EmulatedUsbDevice& first = Plug();
    ASSERT_TRUE(station.WaitFor("USB port " + first.SysName() + "  updated")) << station.Seen();
    zsim::Options silent;
    silent.fault = {zsim::FaultKind::GoSilent, 100};
    zusb::EmulatedUsbDevice& quiet = Plug({}, silent);
    ASSERT_TRUE(quiet.WaitForPackets(101, kHangGuardMs));
    // Plugged in while the silent one is held by its run. Found from the
    // device event the plug sends, not by the 5 s safety-net rescan: the
    // station's next look is the one the event asked for.
    zusb::EmulatedUsbDevice& third = Plug();
    ASSERT_TRUE(station.WaitFor("zentrix-update: debug: station looks at the devices: ")) << station.Seen();
    const std::string look = station.Seen().substr(station.Seen().rfind("zentrix-update: debug: station looks"));
    EXPECT_EQ(look.rfind("zentrix-update: debug: station looks at the devices: the system told of a change\n", 0), 0u)
        << look;
    ASSERT_TRUE(third.WaitForPackets(1, kHangGuardMs));
    ASSERT_TRUE(station.WaitFor("USB port " + third.SysName() + "  updated")) << station.Seen();
    const std::string firstPath = "USB port " + first.SysName();
    first.Unplug();
    m_bus.Remove(first);
    ASSERT_TRUE(station.WaitFor(firstPath + "  unplugged")) << station.Seen();
    // Pulling the silent one ends its run alone.
    const std::string quietPath = "USB port " + quiet.SysName();
    quiet.Unplug();
    ASSERT_TRUE(station.WaitFor(quietPath + "  failed: ")) << station.Seen();
    EXPECT_FALSE(third.Count().claimedNow);

    // No run in progress: Ctrl+C ends the station without asking.
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    EXPECT_EQ(station.Seen().find("Do you want to stop them?"), std::string::npos) << station.Seen();
    ASSERT_TRUE(third.WaitForRuns(1, 5000));
    EXPECT_EQ(Verdict(third, 1), kIntact);
    // A finished calculator left plugged in is not updated again.
    EXPECT_EQ(third.Runs().size(), 1u);
    EXPECT_TRUE(ScratchIsEmpty());
    m_bus.Remove(quiet);
}

// A station offered a storage device with a calculator's IDs refuses it
// with what it is, and goes on to update the calculator plugged in next.
TEST_F(UsbUpdate, AStationNeverOpensAStorageDeviceWithACalculatorsIds)
{
    CUsbStation station(m_dir / "img", m_dir / "scratch");
    ASSERT_TRUE(station.WaitFor("Station:")) << station.Seen();
    zusb::DeviceSetup storage;
    storage.kind = zusb::InterfaceKind::MassStorage;
    storage.kernelDriver = true;
    zusb::EmulatedUsbDevice& stick = Plug(storage);
    ASSERT_TRUE(station.WaitFor("USB port " + stick.SysName() + "  failed: cannot open " + stick.Path() +
                                ": it is not a calculator but a storage device (interface class 08)"))
        << station.Seen();
    zusb::EmulatedUsbDevice& calculator = Plug();
    ASSERT_TRUE(station.WaitFor("USB port " + calculator.SysName() + "  updated")) << station.Seen();
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(), 18) << station.Seen();
    ASSERT_TRUE(calculator.WaitForRuns(1, 5000));
    EXPECT_EQ(Verdict(calculator, 1), kIntact);
    ExpectUntouched(stick);
}

TEST_F(UsbUpdate, AnInterfaceHeldByAnotherProgramIsNotTouched)
{
    zusb::EmulatedUsbDevice& device = Plug();
    device.SetHeldElsewhere(true);
    const ProcessResult run = Update(kOneUpdate);
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kFailed);
    const auto counters = device.Count();
    EXPECT_EQ(counters.bytesOut, 0u);
    EXPECT_EQ(counters.claims, 0);
    EXPECT_TRUE(ScratchIsEmpty());
}

// Lets `user` reach the testbed and open the device nodes, all but `locked`.
void OpenTestbedTo(const fs::path& root, const std::string& locked)
{
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_symlink()) {
            continue;
        }
        fs::permissions(entry.path(), entry.is_directory() ? fs::perms(0777) : fs::perms(0666));
    }
    fs::permissions(root, fs::perms(0777));
    fs::permissions(root.string() + locked, fs::perms(0600));
}

TEST_F(UsbUpdate, ListDevicesDescribesEveryOfferedCalculatorWithoutAPrompt)
{
    zusb::EmulatedUsbDevice& first = Plug();
    zusb::DeviceSetup loader;
    loader.highSpeed = true;
    loader.kernelDriver = true;
    loader.manufacturer = "Zentrix Inc.";
    loader.productName = "ZX OS loader";
    zusb::EmulatedUsbDevice& second = Plug(loader);
    zusb::DeviceSetup other;
    other.product = 0x0001;
    Plug(other);
    zusb::EmulatedUsbDevice& locked = Plug();

    // The locked node is closed to the program: as root only another user
    // can be kept out, so the program runs as nobody then, where nobody can
    // reach the program at all.
    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--list-devices"};
    bool lockedOut = true;
    if (geteuid() == 0) {
        std::vector<std::string> probe = asNobody;
        probe.insert(probe.end(), argv.begin(), argv.end());
        lockedOut = RunProcess(probe, {"ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS="}, "", kHangGuardMs).exitCode == 0;
        if (lockedOut) {
            OpenTestbedTo(m_bus.RootDir(), locked.NodePath());
            argv = probe;
        }
    } else {
        fs::permissions(m_bus.RootDir() + locked.NodePath(), fs::perms::none);
    }
    const ProcessResult listed = RunProcess(
        argv, {"ZENTRIX_DEVICES=/nonexistent/ttyZ", "ZENTRIX_USB_IDS=1a2b:5e01", "ZENTRIX_UI=console"}, "",
        kHangGuardMs);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    const std::string lockedLine =
        lockedOut ? "usb:1:5  1a2b:5e01  \"Zentrix\" \"Zentrix graphing calculator\"  port 1-5  may open: no (permission "
                    "denied; install the udev rule 60-zentrix-calculator.rules with vvvv = 1a2b and pppp = 5e01, "
                    "then plug the calculator in again)\n"
                  : "usb:1:5  1a2b:5e01  \"Zentrix\" \"Zentrix graphing calculator\"  port 1-5  may open: yes\n";
    EXPECT_EQ(listed.out,
              "/nonexistent/ttyZ  may open: no (No such file or directory)\n"
              "usb:1:2  1a2b:5e01  \"Zentrix\" \"Zentrix graphing calculator\"  port 1-2  may open: yes\n"
              "usb:1:3  1a2b:5e01  \"Zentrix Inc.\" \"ZX OS loader\"  port 1-3  may open: yes\n" + lockedLine +
                  "usb:1:4  1a2b:0001  \"Zentrix\" \"Zentrix graphing calculator\"  port 1-4  may open: yes  (not "
                  "configured)\n");
    // Listing touches nothing: no calculator is claimed, the kernel driver
    // stays bound.
    EXPECT_EQ(first.Count().claims, 0);
    EXPECT_EQ(second.Count().detaches, 0);

    const ProcessResult none = RunProcess({ZENTRIX_UPDATE_BIN, "--list-devices"},
                                          {"ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=1a2b:7777"}, "", kHangGuardMs);
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out.rfind("no calculator found among those named by the environment (ZENTRIX_DEVICES, "
                             "ZENTRIX_USB_IDS)\nusb:1:2  1a2b:5e01 ",
                             0),
              0u)
        << none.out;
}

// What the device chooser offers is listed too: a serial port nothing
// configures, by its name and with its label, after the configured
// calculator found by its serial number.
TEST_F(UsbUpdate, ListDevicesListsTheUnconfiguredSerialPortWithItsLabel)
{
    zusb::DeviceSetup calculator;
    calculator.serialNumber = "ZX-0042";
    Plug(calculator);   // usb:1:2
    m_bus.AddSerialPort("ttyUSB7");
    const fs::path config = m_dir / "config";
    fs::create_directories(config / "zentrix-update");
    std::ofstream(config / "zentrix-update" / "zentrix-update.conf")
        << "device = usb-serial:ZX-0042\nlabel = usb-serial:ZX-0042 = Desk 4\nlabel = /dev/ttyUSB7 = Cart B\n";
    const ProcessResult listed = RunProcess({ZENTRIX_UPDATE_BIN, "--list-devices"},
                                            {"ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=", "XDG_CONFIG_HOME=" + config.string(),
                                             "ZENTRIX_MACHINE_CONFIG_DIR=/nonexistent"},
                                            "", kHangGuardMs);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out.rfind("usb:1:2  1a2b:5e01  \"Zentrix\" \"Zentrix graphing calculator\"  label \"Desk 4\"  "
                               "serial \"ZX-0042\"  port 1-2  may open: yes\n/dev/ttyUSB7  label \"Cart B\"  may open: ",
                               0),
              0u)
        << listed.out;
    EXPECT_NE(listed.out.find("(not configured)\n"), std::string::npos) << listed.out;
}

// A stable name picks its calculator of two alike, on the command line or
// in a device = line, and rows and summary name it by its label, else by
// port and serial, never by its bus address.
TEST_F(UsbUpdate, StableNamesPickTheirCalculatorOfTwoAndTheSummaryNamesIt)
{
    zusb::DeviceSetup first;
    first.serialNumber = "ZX-0001";
    zusb::DeviceSetup second;
    second.serialNumber = "ZX-0002";
    zusb::EmulatedUsbDevice* devices[] = {&Plug(first), &Plug(second)};   // ports 1-2 and 1-3
    const std::string labels = "label = usb-serial:ZX-0001 = Desk 1\nlabel = usb-port:1-3 = Cart B slot 7\n";
    const struct {
        std::vector<std::string> arguments;
        std::string config;
        size_t picked;
        std::string name;
    } cases[] = {
        {{"--device", "usb-serial:ZX-0002"}, labels, 1, "Cart B slot 7"},
        {{"--device", "usb-port:1-2"}, labels, 0, "Desk 1"},
        {{}, "device = usb-port:1-3\n", 1, "USB port 1-3, serial ZX-0002"},
        {{}, "device = usb-serial:ZX-0001\n", 0, "USB port 1-2, serial ZX-0001"},
    };
    const fs::path config = m_dir / "config";
    fs::create_directories(config / "zentrix-update");
    size_t runs[2] = {0, 0};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(config / "zentrix-update" / "zentrix-update.conf") << c.config;
        for (zusb::EmulatedUsbDevice* device : devices) {
            device->SetOsVersion("01.00.0000");   // each case updates its calculator anew
        }
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--all", (m_dir / "img").string()};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult run =
            RunProcess(argv,
                       {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=", "XDG_CONFIG_HOME=" + config.string(),
                        "ZENTRIX_MACHINE_CONFIG_DIR=/nonexistent", "TMPDIR=" + (m_dir / "scratch").string()},
                       kOneUpdate, kHangGuardMs);
        EXPECT_EQ(run.exitCode, 18) << run.err;
        ++runs[c.picked];
        ASSERT_TRUE(devices[c.picked]->WaitForRuns(runs[c.picked], 5000));
        EXPECT_EQ(devices[1 - c.picked]->Runs().size(), runs[1 - c.picked]);
        EXPECT_NE(run.out.find("\nupdated " + c.name + "\n"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(" " + c.name + "  updated"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("usb:1:"), std::string::npos) << run.err;
    }
}

// With nothing configured, the one line before the first prompt names what
// could be the calculator: the calculator-like USB device and the serial
// port, never a keyboard or a storage device.
TEST_F(UsbUpdate, NothingConfiguredNamesTheCandidatesButNotKeyboardsOrStorage)
{
    zusb::DeviceSetup calculator;
    calculator.serialNumber = "ZX-0042";
    Plug(calculator);                           // usb:1:2
    zusb::DeviceSetup keyboard;
    keyboard.kind = zusb::InterfaceKind::Keyboard;
    keyboard.productName = "Keyboard";
    Plug(keyboard);                             // usb:1:3
    zusb::DeviceSetup storage;
    storage.kind = zusb::InterfaceKind::MassStorage;
    storage.productName = "Flash drive";
    Plug(storage);                              // usb:1:4
    m_bus.AddSerialPort("ttyUSB7");

    const ProcessResult run = RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string()},
                                         {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=",
                                          "XDG_CONFIG_HOME=" + (m_dir / "none").string(),
                                          "ZENTRIX_MACHINE_CONFIG_DIR=" + (m_dir / "none").string()},
                                         "ok\ncancel\n", kHangGuardMs);
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kConnect + kWarning);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("; it could be one of: usb:1:2  1a2b:5e01  \"Zentrix\" \"Zentrix graphing calculator\"  "
                           "serial \"ZX-0042\"  port 1-2  may open: yes; /dev/ttyUSB7  may open: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("usb:1:3"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("usb:1:4"), std::string::npos) << run.err;
}

// A storage device, its kernel driver bound, is never detached, claimed or
// written, by whichever name it is reached: its bus address, its port, its
// serial number, its IDs; in a single update, a set, a check and under
// --yes. The reason says what it is; the listing says the same.
TEST_F(UsbUpdate, ADeviceThatIsNoCalculatorIsNeverOpenedWhateverNamesIt)
{
    zusb::DeviceSetup storage;
    storage.kind = zusb::InterfaceKind::MassStorage;
    storage.kernelDriver = true;
    storage.serialNumber = "FLASH-1";
    storage.productName = "Flash drive";
    zusb::EmulatedUsbDevice& device = Plug(storage);   // usb:1:2, port 1-2
    const std::string image = (m_dir / "img").string();
    const struct {
        std::vector<std::string> arguments;
        std::string ids;
        std::string answers;
    } cases[] = {
        {{image, "--device", "usb:1:2"}, "", kOneUpdate},
        {{image, "--device", "usb-port:1-2"}, "", kOneUpdate},
        {{image, "--device", "usb-serial:FLASH-1", "--yes"}, "", ""},
        {{image}, "1a2b:5e01", kOneUpdate},
        {{"--check", "--device", "usb-port:1-2"}, "", ""},
        {{"--all", image, "--device", "usb:1:2", "--yes"}, "", ""},
        {{"--all", image, "--usb-id", "1a2b:5e01"}, "", kOneUpdate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const ProcessResult run = RunUpdater(c.arguments, c.ids, c.answers);
        EXPECT_FALSE(run.killed);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find("cannot open usb:1:2: it is not a calculator but a storage device (interface class "
                               "08), and nothing was sent to it"),
                  std::string::npos)
            << run.err;
        ExpectUntouched(device);
    }
    const ProcessResult listed = RunProcess({ZENTRIX_UPDATE_BIN, "--list-devices", "--device", "usb-port:1-2"},
                                            {"ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS="}, "", kHangGuardMs);
    EXPECT_EQ(listed.out, "usb:1:2  1a2b:5e01  \"Zentrix\" \"Flash drive\"  serial \"FLASH-1\"  port 1-2  may open: no "
                          "(not a calculator: a storage device (interface class 08))\n");
}

// Two calculators reporting one serial number: a single update is not
// guessed onto either (the reason names both), a set takes both.
TEST_F(UsbUpdate, ASerialNumberTwoCalculatorsReportIsRefusedAloneAndTakesBothInASet)
{
    zusb::DeviceSetup twin;
    twin.serialNumber = "ZX-0042";
    zusb::EmulatedUsbDevice& first = Plug(twin);    // usb:1:2
    zusb::EmulatedUsbDevice& second = Plug(twin);   // usb:1:3
    const ProcessResult alone = RunUpdater({(m_dir / "img").string(), "--device", "usb-serial:ZX-0042", "--yes"});
    EXPECT_NE(alone.exitCode, 0);
    EXPECT_NE(alone.err.find("usb-serial:ZX-0042 names more than one device: usb:1:2 (usb-port:1-2), usb:1:3 "
                             "(usb-port:1-3); name one by its port, or update them all with --all"),
              std::string::npos)
        << alone.err;
    EXPECT_EQ(first.Count().bytesOut, 0u);
    EXPECT_EQ(second.Count().bytesOut, 0u);

    const ProcessResult set = RunUpdater({"--all", (m_dir / "img").string(), "--device", "usb-serial:ZX-0042", "--yes"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    ASSERT_TRUE(first.WaitForRuns(1, 5000));
    ASSERT_TRUE(second.WaitForRuns(1, 5000));
    EXPECT_EQ(Verdict(first, 1), kIntact);
    EXPECT_EQ(Verdict(second, 1), kIntact);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!zusb::ReexecWithUmockdevPreload(argv)) {
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
