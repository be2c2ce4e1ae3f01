// SPDX-License-Identifier: GPL-3.0-or-later
// What the simulator as a USB device tells the host: the FunctionFS blocks
// read back as the kernel reads them, and its command line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/tool_options.h"
#include "sim/usb_descriptors.h"

#ifdef __linux__
#include <linux/usb/functionfs.h>
#endif

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24);
}

struct Endpoint {
    uint8_t address;
    uint8_t attributes;
    uint16_t maxPacket;
};

// Walks one speed's descriptors as the kernel does (by bLength) and returns
// its endpoints; fails the test on an interface that is not the vendor one.
std::vector<Endpoint> Speed(const std::vector<uint8_t>& b, size_t& at, uint32_t count) {
    std::vector<Endpoint> endpoints;
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_LT(at + 1, b.size());
        const uint8_t length = b[at];
        const uint8_t type = b[at + 1];
        EXPECT_LE(at + length, b.size());
        if (type == 4) {
            EXPECT_EQ(length, 9);
            EXPECT_EQ(b[at + 2], 0) << "interface number";
            EXPECT_EQ(b[at + 4], 2) << "endpoints";
            EXPECT_EQ(b[at + 5], 0xff) << "vendor class";
            EXPECT_EQ(b[at + 8], 1) << "its name is the first string";
        } else {
            EXPECT_EQ(type, 5);
            EXPECT_EQ(length, 7);
            endpoints.push_back({b[at + 2], b[at + 3], static_cast<uint16_t>(b[at + 4] | b[at + 5] << 8)});
        }
        at += length;
    }
    return endpoints;
}

TEST(SimUsbDescriptors, OneVendorInterfaceWithABulkEndpointEachWayAtBothSpeeds) {
    const auto b = zsim::FunctionFsDescriptors();
    ASSERT_GE(b.size(), 20u);
    EXPECT_EQ(Le32(b, 0), 3u) << "the second format's magic";
    EXPECT_EQ(Le32(b, 4), b.size()) << "the length field is the block's";
    EXPECT_EQ(Le32(b, 8), 3u) << "full and high speed, nothing else";
    size_t at = 20;
    const auto full = Speed(b, at, Le32(b, 12));
    const auto high = Speed(b, at, Le32(b, 16));
    EXPECT_EQ(at, b.size()) << "nothing after the last descriptor";
    for (const auto& [endpoints, packet] : {std::pair{full, 64}, std::pair{high, 512}}) {
        ASSERT_EQ(endpoints.size(), 2u);
        EXPECT_EQ(endpoints[0].address, 0x81) << "ep1 is IN";
        EXPECT_EQ(endpoints[1].address, 0x02) << "ep2 is OUT";
        for (const auto& e : endpoints) {
            EXPECT_EQ(e.attributes, 2) << "bulk";
            EXPECT_EQ(e.maxPacket, packet);
        }
    }
#ifdef __linux__
    EXPECT_EQ(Le32(b, 0), static_cast<uint32_t>(FUNCTIONFS_DESCRIPTORS_MAGIC_V2));
    EXPECT_EQ(Le32(b, 8), static_cast<uint32_t>(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC));
    EXPECT_EQ(sizeof(usb_functionfs_descs_head_v2) + 2 * sizeof(uint32_t), 20u);
#endif
}

TEST(SimUsbDescriptors, StringsNameTheInterfaceInUsEnglish) {
    const auto b = zsim::FunctionFsStrings();
    ASSERT_GE(b.size(), 18u);
    EXPECT_EQ(Le32(b, 0), 2u);
    EXPECT_EQ(Le32(b, 4), b.size());
    EXPECT_EQ(Le32(b, 8), 1u) << "strings";
    EXPECT_EQ(Le32(b, 12), 1u) << "languages";
    EXPECT_EQ(b[16] | b[17] << 8, 0x0409);
    const std::string name(b.begin() + 18, b.end());
    EXPECT_EQ(name, std::string(zsim::kGadgetInterfaceName) + '\0');
#ifdef __linux__
    EXPECT_EQ(Le32(b, 0), static_cast<uint32_t>(FUNCTIONFS_STRINGS_MAGIC));
    EXPECT_EQ(sizeof(usb_functionfs_strings_head), 16u);
#endif
}

TEST(SimUsbDescriptors, UsbIdAndSerialAreCheckedAsTheKernelAndHostsNeedThem) {
    const struct {
        const char* text;
        bool ok;
        uint16_t vendor, product;
    } ids[] = {{"1d50:6018", true, 0x1d50, 0x6018}, {"ABCD:ef01", true, 0xabcd, 0xef01}, {"1d50-6018", false, 0, 0},
               {"1d5:6018", false, 0, 0},          {"1d50:60181", false, 0, 0},        {"1d50:60g8", false, 0, 0},
               {"", false, 0, 0},                  {"+d50:6018", false, 0, 0}};
    for (const auto& c : ids) {
        const auto id = zsim::ParseUsbId(c.text);
        ASSERT_EQ(id.has_value(), c.ok) << c.text;
        if (id) {
            EXPECT_EQ(id->vendor, c.vendor) << c.text;
            EXPECT_EQ(id->product, c.product) << c.text;
        }
    }
    EXPECT_TRUE(zsim::ValidUsbSerial("ZX-0042"));
    EXPECT_TRUE(zsim::ValidUsbSerial(std::string(126, 'A')));
    for (const std::string& bad : {std::string(), std::string(127, 'A'), std::string("ZX\n42"), std::string("Z\xc3\xa9")})
        EXPECT_FALSE(zsim::ValidUsbSerial(bad)) << bad;
}

TEST(SimUsbDescriptors, GadgetOptionsParseAndNeedTheGadget) {
    zsim::ToolOptions o;
    std::string error;
    ASSERT_TRUE(zsim::ParseToolOptions({"--usb-gadget", "--usb-id", "abcd:0001", "--usb-serial=ZX-7", "--udc",
                                        "dummy_udc.2", "--fault", "hangup:3", "--runs", "2"},
                                       o, error))
        << error;
    EXPECT_TRUE(o.usbGadget);
    EXPECT_EQ(o.usbId.vendor, 0xabcd);
    EXPECT_EQ(o.usbId.product, 0x0001);
    EXPECT_EQ(o.usbSerial, "ZX-7");
    EXPECT_EQ(o.udc, "dummy_udc.2");
    EXPECT_EQ(o.calculator.fault.kind, zsim::FaultKind::HangUp);
    EXPECT_EQ(o.runs, 2);

    zsim::ToolOptions d;
    ASSERT_TRUE(zsim::ParseToolOptions({"--usb-gadget"}, d, error)) << error;
    EXPECT_EQ(d.usbId.vendor, zsim::kGadgetVendor);
    EXPECT_EQ(d.usbId.product, zsim::kGadgetProduct);
    EXPECT_TRUE(d.udc.empty());

    const std::vector<std::vector<std::string>> refused = {
        {"--usb-id", "1d50:6018"},                    // even the default pair needs the gadget
        {"--usb-serial", "ZX-1"},
        {"--udc", "dummy_udc.0"},
        {"--usb-gadget", "--usb-id", "1d50"},
        {"--usb-gadget", "--udc", "../UDC"},
        {"--usb-gadget", "--usb-serial", std::string(127, 'x')},
        {"--usb-gadget", "--write-demo-images", "/tmp/x"},
    };
    for (const auto& args : refused) {
        zsim::ToolOptions r;
        std::string why;
        EXPECT_FALSE(zsim::ParseToolOptions(args, r, why)) << args[0] << " " << args[1];
        EXPECT_FALSE(why.empty());
    }
}

}  // namespace
