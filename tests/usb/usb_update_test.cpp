// The real zentrix-update in console mode against simulated calculators
// served as emulated USB devices, found only through ZENTRIX_USB_IDS.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/usb/emulated_usb.h"

namespace {

namespace fs = std::filesystem;

// Far longer than any run here takes: only a hang reaches it.
constexpr int kHangGuardMs = 60000;

const std::string kPrompts =
    "== Connect the calculator. ==\nPlease connect the calculator.\n[OK]\n"
    "== Warning ==\n"
    "Updating deletes all data in the calculator's Main Memory.\n"
    "If you need the data, make sure you back it up before updating.\n"
    "Use the MEMORY mode backup function to backup data.\n"
    "\n"
    "Do you want to continue with the update?\n"
    "OK [Cancel]\n"
    "== Delete all data in calculator's Main Memory. ==\nAre you sure?\nOK [Cancel]\n";
const std::string kComplete =
    "== Complete ==\nUpdate is complete.\nDo you want to continue with the update?\n[OK] Cancel\n";
const std::string kFailed = "== Error ==\nUpdate failed.\n[OK]\n";
const std::string kOneUpdate = "ok\nok\nok\ncancel\n";

class UsbUpdate : public ::testing::Test {
protected:
    UsbUpdate()
    {
        EXPECT_TRUE(m_bus.Ok());
        std::string pattern = (fs::temp_directory_path() / "zentrix-usb-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr) {
            ADD_FAILURE() << "cannot make " << pattern;
            return;
        }
        m_dir = made;
        fs::create_directories(m_dir / "img");
        fs::create_directories(m_dir / "scratch");
        const ProcessResult demo =
            RunProcess({ZENTRIX_SIM_BIN, "--write-demo-images", (m_dir / "img").string()}, {}, "");
        EXPECT_EQ(demo.exitCode, 0) << demo.err;
    }
    ~UsbUpdate() override
    {
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    zusb::EmulatedUsbDevice& Plug(zusb::DeviceSetup setup = {}, zsim::Options calculator = {})
    {
        return m_bus.Plug(setup, std::make_unique<zusb::CalculatorPeer>(calculator));
    }

    ProcessResult Update(const std::string& answers, const std::string& ids = "1a2b:5e01")
    {
        return RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string(), "0"},
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=", "ZENTRIX_USB_IDS=" + ids,
                           "TMPDIR=" + (m_dir / "scratch").string()},
                          answers, kHangGuardMs);
    }

    // The simulated calculator's verdict on run `number` (1-based).
    std::string Verdict(zusb::EmulatedUsbDevice& device, size_t number)
    {
        const std::vector<zsim::RunRecord> runs = device.Runs();
        if (runs.size() < number) {
            return "no run " + std::to_string(number);
        }
        return zsim::JudgeRun(static_cast<int>(number), runs[number - 1],
                              {Image("UpdateExe.bin"), Image("UpdateCode.bin")})
            .line;
    }

    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }
    bool ScratchIsEmpty() const { return fs::is_empty(m_dir / "scratch"); }

    zusb::EmulatedUsbBus m_bus;
    fs::path m_dir;
};

const std::string kIntact =
    "run 1: images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000";

TEST_F(UsbUpdate, BothRoutesBothBlockSizesAtBothSpeedsDeliverIntactImages)
{
    for (const bool highSpeed : {false, true}) {
        for (const bool osRoute : {true, false}) {
            for (const bool largeBlocks : {true, false}) {
                SCOPED_TRACE(std::string(highSpeed ? "high speed" : "full speed") + (osRoute ? ", OS route" : ", stub route") +
                             (largeBlocks ? ", 1024-byte blocks" : ", 256-byte blocks"));
                zsim::Options calculator;
                calculator.ackIdentityRequest = osRoute;
                calculator.ackBlockSizeProbe = largeBlocks;
                zusb::DeviceSetup setup;
                setup.highSpeed = highSpeed;
                // A fresh product ID each time, so that only this device matches.
                setup.product = static_cast<uint16_t>(0x5e10 + (highSpeed ? 4 : 0) + (osRoute ? 2 : 0) + (largeBlocks ? 1 : 0));
                zusb::EmulatedUsbDevice& device = Plug(setup, calculator);
                char ids[16];
                std::snprintf(ids, sizeof ids, "1a2b:%04x", setup.product);
                const ProcessResult run = Update(kOneUpdate, ids);
                EXPECT_FALSE(run.killed);
                EXPECT_EQ(run.exitCode, 18) << run.err;
                EXPECT_EQ(run.out, kPrompts + kComplete);
                ASSERT_TRUE(device.WaitForRuns(1, 5000));
                EXPECT_EQ(Verdict(device, 1), kIntact);
                const zsim::RunRecord record = device.Runs().front();
                EXPECT_EQ(record.blockSize, largeBlocks ? 1024 : 256);
                EXPECT_EQ(record.stubRoute, !osRoute);
                const auto counters = device.Count();
                EXPECT_EQ(counters.overflows, 0);
                EXPECT_EQ(counters.claims, 1);
                EXPECT_EQ(counters.releases, 1);
                EXPECT_TRUE(ScratchIsEmpty());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (!zusb::ReexecWithUmockdevPreload(argv)) {
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
