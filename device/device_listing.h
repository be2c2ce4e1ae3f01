// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the calculator enumeration offers, described for the user: the path
// and, for a USB device, its IDs, its manufacturer and product strings and
// whether this user may open it.
#include <cstdint>
#include <string>
#include <vector>

#include "device/decision_log.h"
#include "device/device_choice.h"
#include "i18n/message.h"

// What kind of thing a listed path names.
enum class DeviceKind { Usb, SerialPort, Socket, Other };

// Why a listed device may not be opened, as far as the program tells the
// cases apart; the person reads the reason beside it.
enum class DeviceProblemCode {
    None,               // it may be opened
    PermissionDenied,   // this user may not open it (on Windows: or another program has it)
    Busy,               // another program has it
    NoSuchDevice,       // nothing is there
    NotADevice,         // neither a serial port nor a socket, or not a USB device path
    NotOnBus,           // a USB device that is gone
    UsbUnavailable,     // the USB devices cannot be looked at
    SystemError,        // any other error of the system's
};

struct DeviceProblem {
    DeviceProblemCode code = DeviceProblemCode::None;
    Message reason;   // for the person, the remedy of a port's permission included
};

struct ListedDevice {
    std::string path;
    DeviceKind kind = DeviceKind::Other;
    bool usb = false;
    bool found = false;           // USB: the device is on the bus
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string manufacturer;     // empty when the device does not say
    std::string productName;
    std::string serialNumber;     // empty when the device has none
    std::string portChain;        // USB: "BUS-PORT.PORT..." where the device is plugged in; empty when unknown
    bool mayOpen = false;
    DeviceProblem problem;        // why it may not be opened
    std::string label;            // the name the user gave it; empty when none
};

// Gives each device the label of `labels` that names it.
void AttachLabels(std::vector<ListedDevice>& devices, const std::vector<DeviceLabel>& labels);

// Walks the enumeration of `choice` from index 0 and describes every path it
// offers.
std::vector<ListedDevice> ListOfferedDevices(const DeviceChoice& choice, const DecisionLog& decisions = {});

// One line for the user, without its line feed.
Message FormatListedDevice(const ListedDevice& device);

// What could be a calculator when none is configured, for the user to choose
// from: the USB devices that pass the calculator test of
// device/usb_calculator_check.h (never hubs, keyboards, storage, cameras or
// audio), ordered by bus and address, then the serial ports;
// each described as ListOfferedDevices describes it. Nothing is opened for
// longer than the may-open check.
std::vector<ListedDevice> ListCandidateDevices();

// The serial ports present that a calculator's cable may be on, by their
// stable names where the system gives them: on Linux the links in
// /dev/serial/by-id (those that lead to a port present), then the
// /dev/ttyUSB* and /dev/ttyACM* that no such link names, each group in
// order; listed without opening them. `devRoot` is the device folder
// (tests give a folder of their own).
std::vector<std::string> ListSerialPorts(const std::string& devRoot = "/dev");
