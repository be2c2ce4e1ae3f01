// SPDX-License-Identifier: GPL-3.0-or-later
// Device paths that name a USB device, and opening them without a device.
#include "device/device_path.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "device/usb_channel.h"
#include "device/usb_location.h"
#include "device/zrenum/device_lists.h"

namespace {

TEST(UsbDevicePath, ReadsBusAndAddress)
{
    uint8_t bus = 0;
    uint8_t address = 0;
    EXPECT_TRUE(ParseUsbDevicePath("usb:1:2", bus, address));
    EXPECT_EQ(bus, 1);
    EXPECT_EQ(address, 2);
    EXPECT_TRUE(ParseUsbDevicePath("usb:003:127", bus, address));
    EXPECT_EQ(bus, 3);
    EXPECT_EQ(address, 127);
    EXPECT_TRUE(ParseUsbDevicePath("usb:255:0", bus, address));
    EXPECT_EQ(bus, 255);

    // Whatever the enumeration library writes reads back as the same device.
    EXPECT_TRUE(ParseUsbDevicePath(FormatUsbPath(17, 99).c_str(), bus, address));
    EXPECT_EQ(bus, 17);
    EXPECT_EQ(address, 99);
}

TEST(UsbDevicePath, RefusesAnythingElse)
{
    for (const char* path : {"usb:", "usb:1", "usb:1:", "usb::2", "usb:1:2:3", "usb:256:1", "usb:1:1000",
                             "usb:-1:2", "usb:+1:2", "usb: 1:2", "usb:1:2 ", "usb:0x1:2", "usb:1;2",
                             "usb:0001:2", "USB:1:2", "/dev/ttyUSB0"}) {
        uint8_t bus = 42;
        uint8_t address = 43;
        EXPECT_FALSE(ParseUsbDevicePath(path, bus, address)) << path;
        EXPECT_EQ(bus, 42) << path;
        EXPECT_EQ(address, 43) << path;
    }
    EXPECT_TRUE(IsUsbDevicePath("usb:x"));
    EXPECT_FALSE(IsUsbDevicePath("USB:1:2"));
    EXPECT_FALSE(IsUsbDevicePath(nullptr));
}

TEST(UsbDevicePath, MissingOrMalformedDeviceFailsToOpen)
{
    CUsbChannel channel;
    channel.m_closePauseMs = 0;
    EXPECT_EQ(channel.Open("usb:255:255"), OpenFailed);   // no USB address is above 127
    EXPECT_EQ(channel.Open("usb:1:x"), OpenFailed);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.Close(), NotOpen);
}

// A USB calculator's serial number and port chain, found by bus and
// address among the devices the system lists (a folder made to look like
// /sys/bus/usb/devices: the root hub, a hub, two calculators, an interface).
TEST(UsbDevicePath, LocationIsFoundByBusAndAddress)
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "zentrix-sysfs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    const auto device = [&](const char* name, const char* bus, const char* address, const char* serial) {
        fs::create_directories(root / name);
        std::ofstream(root / name / "busnum") << bus << "\n";
        std::ofstream(root / name / "devnum") << address << "\n";
        if (serial != nullptr) {
            std::ofstream(root / name / "serial") << serial << "\n";
            std::ofstream(root / name / "idVendor") << "1b6f\n";
            std::ofstream(root / name / "idProduct") << "0a01\n";
            std::ofstream(root / name / "manufacturer") << "Zentrix\n";
            std::ofstream(root / name / "product") << "ZX-9860 " << serial << "\n";
        }
    };
    device("usb1", "1", "1", "0000:00:14.0");
    device("1-2", "1", "5", nullptr);
    device("1-2.3", "1", "17", "ZX-0042");
    device("2-1", "2", "17", nullptr);
    fs::create_directories(root / "1-2.3:1.0");

    const struct {
        const char* path;
        const char* serial;
        const char* port;
        const char* ids;
        const char* product;
    } cases[] = {
        {"usb:1:17", "ZX-0042", "1-2.3", "1b6f:0a01", "ZX-9860 ZX-0042"},
        {"usb:2:17", "", "2-1", "", ""},      // a device without a serial number (nor IDs nor strings here)
        {"usb:1:99", "", "", "", ""},         // gone from the bus
        {"/dev/ttyACM0", "", "", "", ""},     // not USB
        {"usb:1:x", "", "", "", ""},
    };
    for (const auto& c : cases) {
        const UsbLocation location = FindUsbLocation(c.path, root.string());
        EXPECT_EQ(location.serial, c.serial) << c.path;
        EXPECT_EQ(location.port, c.port) << c.path;
        EXPECT_EQ(location.ids, c.ids) << c.path;
        // The listing's identity is the same look, with the device's strings.
        const UsbIdentity identity = ReadUsbIdentity(c.path, root.string());
        EXPECT_EQ(identity.location.serial, c.serial) << c.path;
        EXPECT_EQ(identity.location.port, c.port) << c.path;
        EXPECT_EQ(identity.product, c.product) << c.path;
        EXPECT_EQ(identity.manufacturer, *c.product == '\0' ? "" : "Zentrix") << c.path;
    }
    fs::remove_all(root);

    // A Windows USB device-interface path names the IDs and, where Windows
    // made the instance ID of it, the serial number.
    const struct {
        const char* path;
        const char* serial;
        const char* ids;
    } interfaces[] = {
        {R"(\\?\usb#vid_1a2b&pid_5e01#ZX-0042#{a5dcbf10-6530-11d2-901f-00c04fb951ed})", "ZX-0042", "1a2b:5e01"},
        {R"(\\?\USB#VID_1A2B&PID_5E01#5&2c7a1f&0&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed})", "", "1a2b:5e01"},
        {R"(\\?\usb#vid_1a2b&pid_5e01&mi_00#6&1f&0&0000#{dee824ef-729b-4a0e-9c14-b7117d33a817})", "", "1a2b:5e01"},
        {R"(\\?\usb#vid_1a2b&pid_5g01#ZX-1#{x})", "ZX-1", ""},
        {R"(\\?\usb#vid_1a2b&pid_5e01)", "", ""},   // cut short
        {R"(\\.\COM7)", "", ""},
    };
    for (const auto& c : interfaces) {
        const UsbLocation location = UsbLocationFromInterfacePath(c.path);
        EXPECT_EQ(location.serial, c.serial) << c.path;
        EXPECT_EQ(location.ids, c.ids) << c.path;
        EXPECT_EQ(location.port, "") << c.path;
    }

    // What SetupAPI says of a USB device: the serial in its instance ID,
    // the port in its location path, else in its location information.
    const struct {
        const char* text;       // instance ID, or location path
        const char* fallback;   // location information
        const char* wanted;
    } windows[] = {
        {R"(USB\VID_1A2B&PID_5E01\ZX-0042)", "", "ZX-0042"},
        {R"(USB\VID_1A2B&PID_5E01\5&2c7a1f&0&3)", "", ""},
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)", "Port_#0003.Hub_#0005", "1-2.3"},
        {"PCIROOT(0)#PCI(1400)#USBROOT(1)#USB(4)#USBMI(0)", "", "2-4"},
        {"ACPI(_SB_)#USBROOT(x)#USB(2)", "Port_#0003.Hub_#0001", "1-3"},
        {"", "Port_#0003.Hub_#0001 ", ""},
    };
    for (const auto& c : windows) {
        const bool instance = std::string(c.text).rfind("USB\\", 0) == 0;
        EXPECT_EQ(instance ? UsbSerialFromInstanceId(c.text) : UsbPortFromWindowsLocation(c.text, c.fallback),
                  c.wanted)
            << c.text << " " << c.fallback;
    }
}

}  // namespace
