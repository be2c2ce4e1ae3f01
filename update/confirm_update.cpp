// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/confirm_update.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>
#include <chrono>
#include <thread>

#include "device/decision_log.h"
#include "device/device_labels.h"
#include "device/device_path.h"
#include "device/safe_text.h"
#include "device/usb_location.h"
#include "i18n/text_format.h"
#include "update/run_update.h"

const char* const kConfirmPhaseText = N_("Confirming: waiting for the calculator to restart...");

namespace {

using Clock = std::chrono::steady_clock;

// One read-back gives up after this much silence: a calculator still
// restarting is asked again.
constexpr uint32_t kAttemptSilenceMs = 3000;
// Between two read-backs.
constexpr auto kPause = std::chrono::milliseconds(500);
constexpr int32_t kPathSize = 260;

// The port of a read-back: the row keeps its confirming phase; waits and
// warnings go to the run's own port.
class CReadBackPort : public IUpdatePort {
public:
    explicit CReadBackPort(IUpdatePort& port) : m_port(port) {}
    void OpenProgress(const char*, int) override {}
    void StepProgress() override {}
    void SetProgressPos(int) override {}
    void SetProgressRange(int) override {}
    void CloseProgress() override {}
    void Warn(const Message& text) override { m_port.Warn(text); }
    bool SetCloseEnabled(bool) override { return false; }
    bool KeepWaiting(const ReplyWait& wait) override { return m_port.KeepWaiting(wait); }

private:
    IUpdatePort& m_port;
};

// Whether two paths name one device: USB addresses as numbers, other paths
// in any case (Windows spells a device's path as it likes).
bool SameDevice(const std::string& a, const std::string& b)
{
    uint8_t busA = 0, addressA = 0, busB = 0, addressB = 0;
    if (ParseUsbDevicePath(a.c_str(), busA, addressA) && ParseUsbDevicePath(b.c_str(), busB, addressB)) {
        return busA == busB && addressA == addressB;
    }
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// Where the calculator of `facts` is now: a serial port stays where it
// was; a USB calculator comes back at a new address, found by its serial
// number, else by its port, among the devices on offer. One look at the
// system's devices finds it, however many calculators there are (not one
// per device on offer).
std::string WhereNow(IDeviceSource& devices, const UpdateFacts& facts)
{
    if (facts.usbSerial.empty() && facts.usbPort.empty()) {
        return facts.device;
    }
    const std::vector<std::string> itself = ResolveStableUsbNames(
        facts.usbSerial.empty() ? kUsbPortPrefix + facts.usbPort : kUsbSerialPrefix + facts.usbSerial);
    if (itself.empty()) {
        return {};
    }
    char path[kPathSize] = {};
    int32_t index = 0;
    for (int32_t steps = 0; steps < 1024; ++steps) {
        index = devices.EnumerateDevicePath(index, path, kPathSize);
        if (index < 0) {
            break;
        }
        if (std::any_of(itself.begin(), itself.end(), [&](const std::string& found) { return SameDevice(found, path); })) {
            return path;
        }
    }
    return {};
}

enum class ReadBack { Read, NoOs, NotYet, Stopped };

// One read-back of the calculator at `path`: its version into `version`.
ReadBack ReadOnce(const UpdateRunInputs& inputs, const std::string& path, uint32_t silenceMs, IUpdatePort& port,
                  std::string& version)
{
    UpdateRunInputs check = inputs;
    check.checkOnly = true;
    check.images = nullptr;
    check.baseDir.clear();
    check.devicePath = path;
    check.port = &port;
    check.writeGuard = nullptr;
    check.trace.lastRunCopy.clear();   // the last run's copy stays the update's
    check.confirm.enabled = false;
    check.wait.silenceLimitMs = silenceMs;
    check.wait.silenceLimitSource = Message(N_("the wait for the calculator's restart"));
    const UpdateOutcome read = RunUpdate(check);
    if (read.code == ReasonCode::Stopped) {
        return ReadBack::Stopped;
    }
    if (read.result != Checked) {
        return ReadBack::NotYet;
    }
    version = read.facts.osBefore;
    return version.empty() ? ReadBack::NoOs : ReadBack::Read;
}

// Waits `pause`, telling the port; false when it ends the wait. As any
// silence, the restart may be ended by the user once it has lasted
// `endableAfterMs` (the OS is written: nothing is lost but the read-back).
bool Pause(IUpdatePort& port, Clock::time_point since, Clock::duration pause, uint32_t endableAfterMs)
{
    const auto until = Clock::now() + pause;
    while (Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since);
        const uint32_t ms = static_cast<uint32_t>(waited.count());
        if (!port.KeepWaiting({ms, ms >= endableAfterMs})) {
            return false;
        }
    }
    return true;
}

// What the read-back found, into the outcome of the update.
void Conclude(ReadBack found, const std::string& version, UpdateOutcome& outcome)
{
    UpdateFacts& facts = outcome.facts;
    facts.osAfter = version;
    facts.confirmed = found == ReadBack::Read && version == facts.osImage ? "true" : "false";
    switch (found) {
    case ReadBack::Read:
        if (version != facts.osImage) {
            outcome.result = Failed;
            outcome.code = ReasonCode::OsNotTaken;
            outcome.reason = Message(N_("after its restart the calculator reports OS %s, not the image's %s: it did not "
                                        "take the new system; update it again, and if it keeps %s, have it checked"),
                                     {SafeText(version), SafeText(facts.osImage), SafeText(version)});
        }
        return;
    case ReadBack::NoOs:
        outcome.result = Failed;
        outcome.code = ReasonCode::OsNotTaken;
        outcome.reason = Message(N_("after its restart the calculator has no working system (it answers only as an "
                                    "updater would): update it again"));
        return;
    case ReadBack::NotYet:
        outcome.code = ReasonCode::NotConfirmed;
        outcome.reason = Message(N_("not confirmed: the calculator did not answer after its restart"));
        return;
    case ReadBack::Stopped:
        outcome.code = ReasonCode::NotConfirmed;
        outcome.reason = Message(N_("not confirmed: stopped before the calculator answered after its restart"));
        return;
    }
}

}  // namespace

void ConfirmAfterRestart(const UpdateRunInputs& inputs, UpdateOutcome& outcome)
{
    IUpdatePort& port = *inputs.port;
    CReadBackPort quiet(port);
    const uint32_t seconds = std::max<uint32_t>(1, (inputs.confirm.timeoutMs + 999) / 1000);
    port.OpenProgress(kConfirmPhaseText, static_cast<int>(seconds));
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::milliseconds(inputs.confirm.timeoutMs);
    ReadBack found = ReadBack::NotYet;
    std::string version;
    for (;;) {
        const std::string path = WhereNow(*inputs.devices, outcome.facts);
        // The calculator's old path is still held for the run; a new one is
        // held while it is read, so that no other run takes it.
        const bool own = path == outcome.facts.device;
        if (!path.empty() && (own || inputs.claimed->ClaimDevicePath(path.c_str()) == 1)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const uint32_t silence = static_cast<uint32_t>(std::clamp<long long>(left, 500, kAttemptSilenceMs));
            found = ReadOnce(inputs, path, silence, quiet, version);
            if (!own) {
                inputs.claimed->ReleaseDevicePath(path.c_str());
            }
            if (found != ReadBack::NotYet) {
                port.DeviceReturned(path, FindUsbLocation(path));
            }
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();
        port.SetProgressPos(static_cast<int>(std::min<long long>(elapsed, seconds)));
        if (found != ReadBack::NotYet || Clock::now() >= deadline) {
            break;
        }
        if (!Pause(port, started, std::min<Clock::duration>(kPause, deadline - Clock::now()),
                   inputs.wait.userMayEndAfterMs)) {
            found = ReadBack::Stopped;
            break;
        }
    }
    port.CloseProgress();
    inputs.devices->Decisions()([&] {
        return "read back " + SafeText(outcome.facts.device) + " after its restart: " +
               (found == ReadBack::Read ? "OS " + SafeText(version) : found == ReadBack::NoOs ? std::string("no OS")
                                                                       : found == ReadBack::Stopped ? std::string("stopped")
                                                                                                    : std::string("no answer"));
    });
    Conclude(found, version, outcome);
}
