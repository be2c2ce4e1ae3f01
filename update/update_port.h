// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an update run tells its host and asks of it, in the run's own terms.
// The host (a window, the console, a test) decides how to show it.
#include <cstdint>
#include <string>

#include "device/usb_location.h"
#include "i18n/message.h"

// A wait for the calculator, as the host sees it between the channel's short
// waits.
struct ReplyWait {
    // How long the calculator has been waited for: since the request was
    // sent, until its reply is complete, or since it stopped taking data.
    uint32_t waitedMs = 0;
    bool endable = false;    // long enough that the user may end the run
};

class IUpdatePort {
public:
    virtual ~IUpdatePort() = default;

    // The progress of a long phase: a phase text above a bar that runs from
    // 0 to the low 16 bits of `stepCount` and moves one step at a time.
    // Opening replaces the phase already open; stepping past the top of the
    // range starts the bar over from 0, as the standard progress control does.
    virtual void OpenProgress(const char* phaseText, int stepCount) = 0;
    virtual void StepProgress() = 0;
    virtual void SetProgressPos(int pos) = 0;
    // The range becomes 0 to the low 16 bits of `upper`.
    virtual void SetProgressRange(int upper) = 0;
    // Closes the open phase, if any.
    virtual void CloseProgress() = 0;

    // Something the user should know that does not stop the run (a trace
    // file that cannot be written, for instance).
    virtual void Warn(const Message& text) = 0;

    // The run has taken its calculator, the one at `path` (`usb` says where
    // a USB calculator is, when the system tells). Hosts that show no more
    // than the progress leave it alone.
    virtual void DeviceTaken(const std::string& /*path*/, const UsbLocation& /*usb*/) {}
    // The run's calculator answered again after its restart, at `path` (a
    // USB calculator comes back at another address).
    virtual void DeviceReturned(const std::string& /*path*/, const UsbLocation& /*usb*/) {}

    // Greys (false) or enables (true) the command that closes the program.
    // False when there is no such command to change.
    virtual bool SetCloseEnabled(bool enabled) = 0;

    // Called between the channel's short waits for the calculator: the host
    // serves its window here. False ends the run (through the abandon path);
    // a host answers false only for a wait that is `endable` and that the
    // user chose to end.
    virtual bool KeepWaiting(const ReplyWait& wait) = 0;
};
