// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/device_picking.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Two "devices" (files), a link to the first, and a path that leads nowhere.
class DevicePicking : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/zx-picking-XXXXXX";
        m_dir = mkdtemp(dir);
        std::ofstream(m_dir / "a").put('a');
        std::ofstream(m_dir / "b").put('b');
        fs::create_symlink(m_dir / "a", m_dir / "link-to-a");
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const char* name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

// Never says it has ended: the same path at every step.
class EndlessSource : public CListedDeviceSource {
public:
    explicit EndlessSource(std::string path) : CListedDeviceSource({std::move(path)}, nullptr, Message()) {}
    int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size) override
    {
        return CListedDeviceSource::EnumerateDevicePath(0, buffer, size) < 0 ? -1 : index + 1;
    }
};

TEST_F(DevicePicking, EachDeviceIsOfferedOnceByItsFirstNameAndAnEndlessListIsCut)
{
    CListedDeviceSource source({"", Path("a"), Path("missing"), Path("link-to-a"), Path("a"), Path("b")}, nullptr,
                               Message());
    EXPECT_EQ(OfferedDevicePaths(source, true, 100), (std::vector<std::string>{Path("a"), Path("b")}));
    EXPECT_EQ(OfferedDevicePaths(source, false, 100),
              (std::vector<std::string>{Path("a"), Path("missing"), Path("b")}));
    EXPECT_EQ(OfferedDevicePaths(source, false, 2), (std::vector<std::string>{Path("a")}));

    EndlessSource endless(Path("b"));
    EXPECT_EQ(OfferedDevicePaths(endless, true, 1000), std::vector<std::string>{Path("b")});
}

TEST_F(DevicePicking, ARunClaimsTheFirstDeviceNoOtherRunHoldsUnderAnyName)
{
    CListedDeviceSource source({Path("link-to-a"), Path("a"), Path("b")}, nullptr, Message());
    CClaimedDeviceList claimed;
    std::string first;
    std::string second;
    std::string third = "untouched";
    ASSERT_TRUE(ClaimFirstFreeDevice(source, claimed, first));
    ASSERT_TRUE(ClaimFirstFreeDevice(source, claimed, second));
    EXPECT_FALSE(ClaimFirstFreeDevice(source, claimed, third));
    EXPECT_EQ(first, Path("link-to-a"));
    EXPECT_EQ(second, Path("b"));   // "a" is the device "link-to-a" holds
    EXPECT_EQ(third, "untouched");
}

}  // namespace
