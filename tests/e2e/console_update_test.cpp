// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update in console mode against the simulated calculator
// on a pty, answered through standard input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"
#include "tests/e2e/console_texts.h"
#include "tests/e2e/image_rewrite.h"

namespace {

namespace fs = std::filesystem;

using namespace console_texts;

class ConsoleUpdate : public ::testing::Test {
protected:
    ConsoleUpdate()
    {
        m_dir = MakeDemoFolder("zentrix-e2e", ZENTRIX_SIM_BIN);
    }
    ~ConsoleUpdate() override
    {
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    std::unique_ptr<CBackgroundProcess> StartCalculator(std::vector<std::string> options)
    {
        std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--verdict",
                                         "--expect-stub", Image("UpdateExe.bin"),
                                         "--expect-os", Image("UpdateCode.bin")};
        argv.insert(argv.end(), options.begin(), options.end());
        auto calculator = std::make_unique<CBackgroundProcess>(argv);
        m_devicePath = calculator->ReadLine();
        EXPECT_EQ(m_devicePath.rfind("/dev/", 0), 0u) << m_devicePath;
        return calculator;
    }

    ProcessResult Update(const std::string& answers)
    {
        return RunProcess({ZENTRIX_UPDATE_BIN, (m_dir / "img").string(), "0"},
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + m_devicePath,
                           "ZENTRIX_USB_IDS=", "TMPDIR=" + (m_dir / "scratch").string()},
                          answers);
    }

    // As Update, killed after `seconds` (a hang guard: a run that waits for
    // ever ends with the exit code 137 of SIGKILL).
    ProcessResult UpdateWithin(int seconds, const std::string& answers)
    {
        return RunProcess({"/usr/bin/timeout", "-s", "KILL", std::to_string(seconds), ZENTRIX_UPDATE_BIN,
                           (m_dir / "img").string(), "0"},
                          {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + m_devicePath,
                           "ZENTRIX_USB_IDS=", "TMPDIR=" + (m_dir / "scratch").string()},
                          answers);
    }

    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }
    bool ScratchIsEmpty() const { return fs::is_empty(m_dir / "scratch"); }

    fs::path m_dir;
    std::string m_devicePath;
};

TEST_F(ConsoleUpdate, ACompleteUpdateDeliversBothImagesAndEndsWith18)
{
    auto calculator = StartCalculator({"--runs", "1"});
    const ProcessResult run = Update("ok\ny\nOK\ncancel\n");
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kComplete);
    EXPECT_NE(run.err.find("Checking the calculator version... [####################] 100% "
                           "256/256\n"),
              std::string::npos);
    EXPECT_NE(run.err.find("Updating... [####################] 100%"), std::string::npos);
    // Each phase's bar starts at 0 of its own total: 3 blocks of the stub,
    // 69 of the OS image.
    for (const char* start : {"Checking the calculator version... [....................] 0% 0/256\n",
                              "Sending data... [....................] 0% 0/3\n",
                              "Updating... [....................] 0% 0/69\n"}) {
        EXPECT_NE(run.err.find(start), std::string::npos) << start << run.err;
    }
    EXPECT_EQ(run.err.find("Updating... [....................] 0% 0/3\n"), std::string::npos) << run.err;
    EXPECT_TRUE(ScratchIsEmpty());
    // The calculator exits 0 only when the images it received equal the files.
    EXPECT_EQ(calculator->ReadRest(), "run 1: images received intact (stub 3000 bytes, OS 70000 "
                                      "bytes); calculator OS now 01.05.0000\n");
    EXPECT_EQ(calculator->Wait(), 0);
}

TEST_F(ConsoleUpdate, OkAtCompletionUpdatesTheNextCalculatorOnTheSamePath)
{
    auto calculator = StartCalculator({"--runs", "2", "--route", "stub", "--block-size", "256"});
    // Empty lines take the default: OK at completion and at the connect
    // prompt, Cancel at the warning.
    const ProcessResult run = Update("ok\nok\nok\n\n\n\n");
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kComplete + kConnect + kWarning);
    // Only one run: the second pass was refused at the warning.
    EXPECT_NE(calculator->ReadLine().find("run 1: images received"), std::string::npos);
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(ConsoleUpdate, TwoCompleteRunsInOneSession)
{
    // The launcher reads nothing back: the calculator keeps its system for the second run.
    auto calculator = StartCalculator({"--runs", "2", "--restart-time", "0", "--after-update", "keep"});
    const ProcessResult run = Update("y\ny\ny\ny\ny\ny\ny\nn\n");
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kComplete + kPrompts + kComplete);
    EXPECT_NE(calculator->ReadLine().find("run 1: images received intact"), std::string::npos);
    EXPECT_NE(calculator->ReadLine().find("run 2: images received intact"), std::string::npos);
    EXPECT_EQ(calculator->Wait(), 0);
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(ConsoleUpdate, RefusingAtTheWarningsPutsNothingOnTheWire)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    m_devicePath = ptsname(master);
    const int slave = open(m_devicePath.c_str(), O_RDWR | O_NOCTTY);   // keeps the pty up
    ASSERT_GE(slave, 0);

    for (const std::string& answers : {std::string("ok\ncancel\n"), std::string("ok\nok\nno\n"),
                                       std::string("")}) {
        SCOPED_TRACE(answers);
        const ProcessResult run = Update(answers);
        EXPECT_EQ(run.exitCode, 18);
        EXPECT_EQ(run.out.rfind(kConnect + kWarning, 0), 0u);
        EXPECT_EQ(run.err, "");
    }
    fcntl(master, F_SETFL, O_NONBLOCK);
    char byte = 0;
    EXPECT_EQ(read(master, &byte, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    close(slave);
    close(master);
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(ConsoleUpdate, FailedRunsAreReportedAndEndWith18)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--fault", "hangup:3"}, "Update failed."},
        {{"--model", "12345678"}, "Your calculator is a model that is not supported."},
        {{"--os-version", "02.00.0000"},
         "The operating system of your calculator is the same as or later than the operating "
         "system you are trying to update to.\nYou do not need to update your operating system."}};
    for (const auto& [options, text] : cases) {
        SCOPED_TRACE(text);
        auto calculator = StartCalculator(options);
        const ProcessResult run = Update("ok\nok\nok\n\n");
        EXPECT_EQ(run.exitCode, 18);
        EXPECT_EQ(run.out, kPrompts + Error(text));
        EXPECT_TRUE(ScratchIsEmpty());
    }
}

TEST_F(ConsoleUpdate, NoCalculatorAtAllIsAFailedRun)
{
    m_devicePath = (m_dir / "no-such-device").string();
    const ProcessResult run = Update("ok\nok\nok\n");
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + Error("Update failed."));
}

// Paths that name no calculator fail the run without touching what they
// name: a regular file is never written, an entry too long for the device
// path buffer does not hand the run to the next device, a FIFO under the OS
// image's name is not waited on.
TEST_F(ConsoleUpdate, PathsThatNameNoCalculatorFailTheRunAndTouchNothing)
{
    const std::string notes = "notes that must survive\n";
    const fs::path notesPath = m_dir / "notes.txt";
    std::ofstream(notesPath) << notes;
    auto calculator = StartCalculator({"--runs", "1"});
    const std::string calculatorPath = m_devicePath;
    const std::string tooLong = "/dev/" + std::string(300, 'x');

    for (const std::string& devices : {notesPath.string(), tooLong + ";" + calculatorPath}) {
        SCOPED_TRACE(devices.substr(0, 40));
        m_devicePath = devices;
        const ProcessResult run = Update("ok\nok\nok\n");
        EXPECT_EQ(run.exitCode, 18);
        EXPECT_EQ(run.out, kPrompts + Error("Update failed."));
    }
    std::ifstream in(notesPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), notes);

    // A FIFO for the OS image: refused before the calculator is touched,
    // and before anything is asked.
    fs::remove(Image("UpdateCode.bin"));
    ASSERT_EQ(mkfifo(Image("UpdateCode.bin").c_str(), 0600), 0);
    m_devicePath = calculatorPath;
    const ProcessResult run = UpdateWithin(60, "ok\nok\nok\n");
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, "== Error ==\nThe images cannot be used; nothing was sent to a calculator.\n\nimage " +
                           Image("UpdateCode.bin") + " is not a regular file\n[OK]\n");
    EXPECT_TRUE(ScratchIsEmpty());

    // None of the three reached the calculator: it still waits for its run.
    ::kill(calculator->Pid(), SIGTERM);
    EXPECT_EQ(calculator->ReadRest(), "");
}

// A new OS image copied over the old one (truncated, then written slowly,
// as cp does) while the update starts: the run waits until the file has been
// finished and still for two seconds, says so, and sends the new image
// whole. The calculator judges what it received against the new file.
TEST_F(ConsoleUpdate, AnImageBeingRewrittenIsWaitedForAndSentWholeNeverHalfWritten)
{
    const fs::path newer = m_dir / "newer";
    fs::create_directories(newer);
    const ProcessResult demo = RunProcess({ZENTRIX_SIM_BIN, "--write-demo-images", newer.string(), "--image-version",
                                           "01.06.0000", "--os-size", "90000"},
                                          {}, "");
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    CBackgroundProcess calculator({ZENTRIX_SIM_BIN, "--verdict", "--runs", "1", "--expect-stub", Image("UpdateExe.bin"),
                                   "--expect-os", (newer / "UpdateCode.bin").string()});
    m_devicePath = calculator.ReadLine();

    CSlowRewrite rewrite(Image("UpdateCode.bin"), FileBytes(newer / "UpdateCode.bin"), 8, 200);
    rewrite.WaitStarted();
    const ProcessResult run = UpdateWithin(90, "ok\nok\nok\ncancel\n");
    EXPECT_EQ(run.exitCode, 18);
    EXPECT_EQ(run.out, kPrompts + kComplete);
    EXPECT_NE(run.err.find("zentrix-update: image " + Image("UpdateCode.bin") +
                           " is being written: waiting until it has not changed for 2 seconds\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(calculator.ReadRest(), "run 1: images received intact (stub 3000 bytes, OS 90000 bytes); calculator OS "
                                     "now 01.06.0000\n");
    EXPECT_EQ(calculator.Wait(), 0);
    EXPECT_TRUE(ScratchIsEmpty());
}

}  // namespace
