// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated calculator as a real USB device (Linux): a configfs gadget
// with one FunctionFS function whose bulk endpoints carry the bytes to and
// from the calculator's pty. Made by Open, plugged in by Bind, unplugged and
// removed by the destructor, whatever ended the simulator.
#pragma once

#include <memory>
#include <string>

#include "sim/usb_descriptors.h"

namespace zsim {

struct GadgetOptions {
    UsbId id;
    std::string serial;   // the device's serial number
    std::string udc;      // the device controller; empty: the first free one
    std::string ptyPath;  // the calculator's side: the slave of its pty
};

class UsbGadget {
public:
    UsbGadget();
    ~UsbGadget();   // unbinds, stops the bridge, unmounts and removes the gadget
    UsbGadget(const UsbGadget&) = delete;
    UsbGadget& operator=(const UsbGadget&) = delete;

    // Makes the gadget and its function, writes the descriptors and opens
    // the endpoints; nothing is visible to a host yet. False with `why` set
    // (the step and the system's words) on any failure; what was made is
    // removed again by the destructor.
    bool Open(const GadgetOptions& options, std::string& why);
    // Starts carrying bytes and binds the gadget to its controller: a host
    // sees the calculator plugged in.
    bool Bind(std::string& why);
    // A restart: unplugged from the host, then plugged in again on the same
    // controller with the same serial number (the host gives it a new
    // address). Either may be called from any thread.
    void Unplug();
    bool PlugInAgain(std::string& why);
    const std::string& Udc() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zsim
