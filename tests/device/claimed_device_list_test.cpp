// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/claimed_device_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

TEST(ClaimedDeviceList, HoldsAtMostTenOrTheCapacityGiven)
{
    // The update loop's list, and a classroom's larger one.
    for (const int capacity : {10, 40}) {
        SCOPED_TRACE(capacity);
        CClaimedDeviceList tenByDefault;
        CClaimedDeviceList larger(40);
        CClaimedDeviceList& list = capacity == 10 ? tenByDefault : larger;
        for (int i = 0; i < capacity; ++i) {
            ASSERT_EQ(list.ClaimDevicePath(("/dev/calc" + std::to_string(i)).c_str()), 1);
        }
        EXPECT_EQ(list.ClaimDevicePath("/dev/other"), 0);
        EXPECT_EQ(list.m_claimedCount, capacity);
        EXPECT_EQ(list.ReleaseDevicePath("/dev/calc4"), 1);
        EXPECT_EQ(list.ClaimDevicePath("/dev/other"), 1);
        EXPECT_EQ(list.m_claimedCount, capacity);
        EXPECT_EQ(list.m_claimedPaths.back(), "/dev/other");
    }
}

TEST(ClaimedDeviceList, PathsAreComparedByteForByte)
{
    CClaimedDeviceList list;
    EXPECT_EQ(list.ClaimDevicePath("usb:1:4"), 1);
    EXPECT_EQ(list.ClaimDevicePath("usb:1:4"), 0);
    EXPECT_EQ(list.ClaimDevicePath("/dev/ttyACM0"), 1);
    EXPECT_EQ(list.ClaimDevicePath("/dev/TTYACM0"), 1);
    EXPECT_EQ(list.ClaimDevicePath("usb:1:4 "), 1);
    EXPECT_EQ(list.ClaimDevicePath(""), 1);
    EXPECT_EQ(list.ClaimDevicePath(""), 0);
    EXPECT_EQ(list.m_claimedCount, 5);
    EXPECT_EQ(list.m_claimedPaths, (Paths{"usb:1:4", "/dev/ttyACM0", "/dev/TTYACM0", "usb:1:4 ", ""}));
}

TEST(ClaimedDeviceList, ReleaseKeepsTheOrderOfTheRest)
{
    CClaimedDeviceList list;
    list.ClaimDevicePath("a");
    list.ClaimDevicePath("b");
    list.ClaimDevicePath("c");
    EXPECT_EQ(list.ReleaseDevicePath("B"), 0);
    EXPECT_EQ(list.ReleaseDevicePath("b"), 1);
    EXPECT_EQ(list.ReleaseDevicePath("b"), 0);
    EXPECT_EQ(list.m_claimedCount, 2);
    EXPECT_EQ(list.m_claimedPaths, (Paths{"a", "c"}));
    EXPECT_EQ(list.ClaimDevicePath(nullptr), 0);
    EXPECT_EQ(list.ReleaseDevicePath(nullptr), 0);
    EXPECT_EQ(list.m_claimedCount, 2);
}

}  // namespace
