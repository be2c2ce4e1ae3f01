// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-calc-sim: a simulated calculator on a pty, for tests and demos.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>

#include "sim/calculator.h"
#include "sim/replay_pty.h"
#include "sim/trace_input.h"
#include "sim/trace_reader.h"
#include "sim/tool_options.h"
#include "sim/verdict.h"
#ifdef __linux__
#include "sim/usb_gadget.h"
#endif

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

#ifdef __linux__
// The calculator behind `pty` as a USB device too, plugged in once it can
// answer; nothing (and a line saying why) when it cannot be made. Removed
// (unplugged) when the returned object goes, on every way out of main.
std::unique_ptr<zsim::UsbGadget> PlugIn(const zsim::ToolOptions& o, const std::string& pty) {
    zsim::GadgetOptions g;
    g.id = o.usbId;
    g.serial = o.usbSerial.empty() ? "ZXSIM" + std::to_string(::getpid()) : o.usbSerial;
    g.udc = o.udc;
    g.ptyPath = pty;
    auto gadget = std::make_unique<zsim::UsbGadget>();
    std::string why;
    if (!gadget->Open(g, why) || !gadget->Bind(why)) {
        std::cerr << "zentrix-calc-sim: cannot be a USB device: " << why << "\n";
        return nullptr;
    }
    std::cerr << "zentrix-calc-sim: USB device " << g.serial << " plugged in on " << gadget->Udc() << "\n";
    return gadget;
}
#endif

// A gadget when --usb-gadget asks for one; false when it was asked for and
// could not be made.
struct Plugged {
#ifdef __linux__
    std::unique_ptr<zsim::UsbGadget> gadget;
#endif
    bool Plug(const zsim::ToolOptions& o, const std::string& pty) {
#ifdef __linux__
        if (!o.usbGadget) return true;
        gadget = PlugIn(o, pty);
        return gadget != nullptr;
#else
        (void)o;
        (void)pty;
        return true;
#endif
    }
};

int WriteDemo(const zsim::ToolOptions& o) {
    std::string why;
    if (!zsim::WriteDemoImages(o.writeDemoDir, o.calculator.modelCode, o.imageVersion, o.osSize, o.stubSize,
                               &why)) {
        std::cerr << "zentrix-calc-sim: cannot write the demo images into " << o.writeDemoDir << ": " << why << "\n";
        return 1;
    }
    std::cout << "wrote " << o.writeDemoDir << "/UpdateExe.bin (" << o.stubSize << " bytes) and " << o.writeDemoDir
              << "/UpdateCode.bin (" << o.osSize << " bytes, version " << o.imageVersion << ")\n";
    return 0;
}

// Reports runs as they finish, until the last run (--runs) has ended or a
// signal stops the simulator; a run under way at the signal is reported as
// it stands. The read-back of an update after its restart belongs to the
// update: it is reported on its own line and not counted, and the last
// update's read-back is waited for (a while at most). Returns true when
// every run was clean and, with --runs, that many runs were seen.
bool Serve(zsim::PtyCalculator& sim, const zsim::ToolOptions& o) {
    const zsim::Expectation expect{o.expectStub, o.expectOs};
    bool allClean = true;
    int counted = 0;
    size_t seen = 0;
    bool readBackDue = false;   // the last counted run installed an OS
    const auto line = [&](const zsim::RunVerdict& v) {
        allClean = allClean && v.clean;
        if (o.verdict) std::cout << v.line << std::endl;
        if (!o.reportFile.empty()) {
            std::ofstream file(o.reportFile, std::ios::app);
            file << v.report << "\n";
            if (!file) std::cerr << "zentrix-calc-sim: cannot append to " << o.reportFile << "\n";
        }
    };
    const auto report = [&] {
        const auto runs = sim.Runs();
        for (; seen < runs.size(); ++seen) {
            const zsim::RunRecord& run = runs[seen];
            if (zsim::ReadBack(run) && counted > 0 && (zsim::ReadBackAnswered(run) || run.violations.empty())) {
                // Clean tries while the calculator restarted are not runs of their own.
                if (zsim::ReadBackAnswered(run)) {
                    line(zsim::JudgeReadBack(counted, run));
                    readBackDue = false;
                }
                continue;
            }
            if (o.runs != 0 && counted >= o.runs) break;
            line(zsim::JudgeRun(++counted, run, expect));
            readBackDue = zsim::InstalledOs(run) && o.calculator.afterUpdate != zsim::Options::AfterUpdate::Silent;
        }
    };
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastDue;
    while (g_stop == 0) {
        sim.WaitForRuns(static_cast<int>(seen) + 1, 200);
        report();
        if (!sim.Serving() && seen >= sim.Runs().size()) break;
        if (o.runs == 0 || counted < o.runs) continue;
        if (!readBackDue) break;
        // An updater that reads its calculator back after the restart
        // does so soon after it; one that does not is not waited for long.
        if (!lastDue) lastDue = Clock::now() + std::chrono::milliseconds(o.calculator.restartMs + 10000);
        if (Clock::now() >= *lastDue) break;
    }
    sim.Stop();
    report();
    if (o.runs > 0 && counted < o.runs) {
        std::cerr << "zentrix-calc-sim: stopped after " << counted << " of " << o.runs << " runs\n";
        return false;
    }
    return allClean;
}

void Report(const zsim::ToolOptions& o, const zsim::ReplayVerdict& v) {
    if (o.verdict) std::cout << v.line << std::endl;
    if (!o.reportFile.empty()) {
        std::ofstream report(o.reportFile, std::ios::app);
        report << v.report << "\n";
        if (!report) std::cerr << "zentrix-calc-sim: cannot append to " << zsim::Printable(o.reportFile) << "\n";
    }
}

// Plays the calculator's side of a recorded trace for one run.
int Replay(const zsim::ToolOptions& o) {
    zsim::TraceInput input(g_stop);
    std::istream file(&input);
    zsim::RecordedSession session;
    std::string why = "cannot be read";
    const bool read = input.Open(o.replayFile) && zsim::ReadTraceSession(file, o.replayDevice, session, why);
    if (input.Stopped()) {
        Report(o, {false, "replay: not run: stopped while the trace was read", "replay=1 clean=0 divergence=not_run"});
        return 1;
    }
    if (!read) {
        std::cerr << "zentrix-calc-sim: cannot replay " << zsim::Printable(o.replayFile) << ": " << why << "\n";
        return 1;
    }
    zsim::ReplayPty pty;
    if (!pty.Open()) {
        std::cerr << "zentrix-calc-sim: cannot open a pty\n";
        return 1;
    }
    std::cout << pty.SlavePath() << std::endl;
    Plugged usb;
    if (!usb.Plug(o, pty.SlavePath())) return 1;
    zsim::ReplayOptions options;
    options.recordedTiming = o.replayRecordedTiming;
    const zsim::ReplayVerdict v = pty.Play(session, options, g_stop);
    Report(o, v);
    return v.clean ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    zsim::ToolOptions options;
    std::string error;
    if (!zsim::ParseToolOptions({argv + 1, argv + argc}, options, error)) {
        std::cerr << "zentrix-calc-sim: " << error << "\nTry 'zentrix-calc-sim --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << zsim::ToolUsage();
        return 0;
    }
    if (!options.writeDemoDir.empty()) return WriteDemo(options);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    if (!options.replayFile.empty()) return Replay(options);
    zsim::PtyCalculator sim(options.calculator);
    if (!sim.Start()) {
        std::cerr << "zentrix-calc-sim: cannot open a pty\n";
        return 1;
    }
    std::cout << sim.SlavePath() << std::endl;
    Plugged usb;
    if (!usb.Plug(options, sim.SlavePath())) return 1;
    sim.MarkLinkUp();
#ifdef __linux__
    if (usb.gadget) {
        zsim::UsbGadget* gadget = usb.gadget.get();
        sim.OnRestart([gadget](bool restarting) {
            std::string why;
            if (restarting) {
                gadget->Unplug();
            } else if (!gadget->PlugInAgain(why)) {
                std::cerr << "zentrix-calc-sim: cannot plug in again after the restart: " << why << "\n";
            }
        });
    }
#endif
    const bool clean = Serve(sim, options);
    return clean ? 0 : 1;
}
