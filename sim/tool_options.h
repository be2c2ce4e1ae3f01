// SPDX-License-Identifier: GPL-3.0-or-later
// Command line of zentrix-calc-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/calculator.h"
#include "sim/usb_descriptors.h"

namespace zsim {

struct ToolOptions {
    ToolOptions() { calculator.restartMs = 2000; }   // a calculator restarts in about 2 s
    Options calculator;
    int runs = 0;                       // 0: serve until SIGINT / SIGTERM
    std::string expectStub;             // files to compare the received images with
    std::string expectOs;
    bool verdict = false;               // one human-readable line per run on stdout
    std::string reportFile;             // one key=value line per run appended here
    std::string writeDemoDir;           // write the demo images there and exit
    std::string imageVersion = "01.05.0000";
    size_t osSize = 70000;
    size_t stubSize = 3000;
    std::string replayFile;             // play the calculator's side of this trace
    bool replayRecordedTiming = false;  // at the recorded times; else as fast as possible
    std::string replayDevice;           // the session on this device; empty: the first
    bool usbGadget = false;             // a USB device (configfs gadget) instead of only a pty
    UsbId usbId;                        // the gadget's vendor and product
    std::string usbSerial;              // its serial number; empty: one made from the process id
    std::string udc;                    // its device controller; empty: the first free one
    bool help = false;
};

// Parses the arguments after the program name. False with `error` set when an
// option is unknown, lacks its value or has a value out of range.
bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions& out, std::string& error);
std::string ToolUsage();

}  // namespace zsim
