// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a USB calculator sits and what it calls itself, for the record of
// its update: the serial number it reports, its bus and port chain and its IDs.
#include <string>

struct UsbLocation {
    std::string serial;   // empty when the device reports none
    std::string port;     // "BUS-PORT.PORT..." as the system names it; empty when unknown
    std::string ids;      // "VVVV:PPPP", the vendor and product IDs in hex; empty when unknown
    // The name the user gave the calculator (a `label` line), for a serial
    // port too; empty when none. The update run sets it, never the system.
    std::string label;
};

// The location of the device at `path` ("usb:BUS:ADDRESS"), read from the
// system without opening the device; both parts stay empty for any other
// path, for a device no longer there, and where the system does not say
// (Windows: the port too where SetupAPI names none). `sysfsRoot` is the folder of the USB devices; tests
// give a folder of their own.
UsbLocation FindUsbLocation(const std::string& path, const std::string& sysfsRoot = "/sys/bus/usb/devices");

#ifndef _WIN32
// What Linux read from a USB device when it was plugged in: its location
// and the manufacturer and product strings (empty when the device gives
// none), from the same one look as FindUsbLocation's; the record and the
// device listing both take a device's identity from here.
struct UsbIdentity {
    UsbLocation location;
    std::string manufacturer;
    std::string product;
};
UsbIdentity ReadUsbIdentity(const std::string& path, const std::string& sysfsRoot = "/sys/bus/usb/devices");
#endif

// The IDs and serial number a Windows USB device-interface path
// ("\\?\usb#vid_1a2b&pid_5e01#ZX-0042#{...}") names; the serial stays empty
// where Windows generated the instance ID itself, and everything for any
// other path. The port is not in the path.
UsbLocation UsbLocationFromInterfacePath(const std::string& path);

// The serial number in a Windows device instance ID
// ("USB\VID_1A2B&PID_5E01\ZX-0042"); empty where Windows generated the
// ID itself ("...\5&2c7a1f&0&3") and for any other text.
std::string UsbSerialFromInstanceId(const std::string& instance);

// The port chain "BUS-PORT.PORT..." of a Windows USB device, from its
// location path ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)" is "1-2.3":
// the bus is its controller's root hub, counted from 1), else from its
// location information ("Port_#0003.Hub_#0001" is "1-3": the port on the
// hub it is plugged into); empty when neither says.
std::string UsbPortFromWindowsLocation(const std::string& locationPath, const std::string& locationInformation);
