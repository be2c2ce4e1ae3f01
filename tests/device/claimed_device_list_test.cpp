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

namespace {

TEST(ClaimedDeviceList, AClaimHoldsItsPathUntilItEndsOrIsGivenBackOnceThoughMoved)
{
    CClaimedDeviceList list(2);
    {
        CDeviceClaim moved = [&list] {
            CDeviceClaim first(list, "usb:1:4");
            EXPECT_TRUE(first.Held());
            EXPECT_FALSE(CDeviceClaim(list, "usb:1:4").Held());   // held already: the refused claim gives nothing back
            return CDeviceClaim(std::move(first));
        }();
        EXPECT_EQ(list.m_claimedPaths, Paths{"usb:1:4"});   // the end of the moved-from claim gave nothing back
        EXPECT_TRUE(moved.Held());
        EXPECT_EQ(moved.Path(), "usb:1:4");
        CDeviceClaim second(list, "usb:1:5");
        EXPECT_FALSE(CDeviceClaim(list, "usb:1:6").Held());   // the list is full
        second.Release();
        second.Release();   // a second time gives back nothing more
        EXPECT_EQ(list.m_claimedPaths, Paths{"usb:1:4"});
    }
    EXPECT_EQ(list.m_claimedCount, 0);   // the moved claim gave it back once, at its end
}

}  // namespace
