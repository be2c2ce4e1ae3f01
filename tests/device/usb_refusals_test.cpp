// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel's words for a USB device it did not take in, told from its
// other USB messages, and its log's records read safely.
#include "device/usb_refusals.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UsbRefusals, OnlyADeviceNotTakenInIsARefusal)
{
    const struct {
        const char* message;
        bool refusal;
    } cases[] = {
        {"xhci_hcd 0000:00:05.0: Max number of devices this xHCI host supports is 32.", true},
        {"xhci_hcd 0000:00:05.0: Error while assigning device slot ID: No Slots Available Error", true},
        {"usb usb2-port8: unable to enumerate USB device", true},
        {"usb usb1-port3: couldn't allocate usb_device", true},
        {"usb 1-1.4: device not accepting address 12, error -71", true},
        {"usb 1-1.4: device descriptor read/64, error -110", true},
        {"usb usb1-port2: Cannot enable. Maybe the USB cable is bad?", true},
        {"usb 1-1: new full-speed USB device number 2 using xhci_hcd", false},
        {"usb 1-1: USB disconnect, device number 2", false},
        {"ftdi_sio ttyUSB0: FTDI USB Serial Device converter now disconnected from ttyUSB0", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUsbRefusal(c.message), c.refusal) << c.message;
    }
}

TEST(UsbRefusals, AKernelRecordGivesItsTimeAndFirstLineAndNothingElseIsOne)
{
    int64_t micros = -1;
    std::string_view text;
    ASSERT_TRUE(ParseKernelRecord("3,1234,5678901,-;usb usb2-port8: unable to enumerate USB device\n"
                                  " SUBSYSTEM=usb\n DEVICE=+usb:usb2-port8\n",
                                  micros, text));
    EXPECT_EQ(micros, 5678901);
    EXPECT_EQ(text, "usb usb2-port8: unable to enumerate USB device");
    ASSERT_TRUE(ParseKernelRecord("6,7,0,c,more;x", micros, text));
    EXPECT_EQ(micros, 0);
    EXPECT_EQ(text, "x");

    for (const char* bad : {"", "no semicolon", "6,7;text", "6,7,;text", "6,7,12x,-;text", "6,7,-5z;text",
                            "6,7,99999999999999999999999,-;text"}) {
        EXPECT_FALSE(ParseKernelRecord(bad, micros, text)) << bad;
    }
}

}  // namespace
