// SPDX-License-Identifier: GPL-3.0-or-later
// The real zentrix-update run by a script: --yes answers every box with
// standard input closed, and the exit code says how the calculators fared.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/demo_folder.h"

namespace {

namespace fs = std::filesystem;

class Unattended : public ::testing::Test {
protected:
    Unattended() { m_dir = MakeDemoFolder("zentrix-unattended", ZENTRIX_SIM_BIN); }
    ~Unattended() override
    {
        m_calculator.reset();
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    // A simulated calculator for one run; returns its pty's path.
    std::string StartCalculator(const std::vector<std::string>& options)
    {
        std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--verdict", "--runs", "1",
                                         "--expect-stub", Image("UpdateExe.bin"),
                                         "--expect-os", Image("UpdateCode.bin")};
        argv.insert(argv.end(), options.begin(), options.end());
        m_calculator = std::make_unique<CBackgroundProcess>(argv);
        return m_calculator->ReadLine();
    }

    // The program with standard input on /dev/null, both streams read as one.
    // Without `devices` it looks for a USB ID no calculator has.
    std::unique_ptr<CBackgroundProcess> Start(const std::string& devices, const std::vector<std::string>& options,
                                              const std::string& ui = "console")
    {
        const std::string usbIds = devices.empty() ? "ffff:fffe" : "";
        std::string command = "exec /usr/bin/timeout -s KILL 60 env ZENTRIX_UI=" + ui + " ZENTRIX_USB_IDS=" + usbIds +
                              " ZENTRIX_REPLY_TIMEOUT=2 'ZENTRIX_DEVICES=" + devices + "' TMPDIR='" +
                              (m_dir / "scratch").string() + "' XDG_STATE_HOME='" + (m_dir / "state").string() +
                              "' '" ZENTRIX_UPDATE_BIN "'";
        for (const std::string& option : options) {
            command += " '" + option + "'";
        }
        command += " '" + (m_dir / "img").string() + "' </dev/null 2>&1";
        return std::make_unique<CBackgroundProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
    }

    std::string Image(const char* name) const { return (m_dir / "img" / name).string(); }

    fs::path m_dir;
    std::unique_ptr<CBackgroundProcess> m_calculator;
};

struct ScriptCase {
    const char* name;
    std::vector<std::string> options;      // the program's
    std::vector<std::string> calculator;   // the simulator's; absent: no calculator at all
    bool hasCalculator;
    int exitCode;
    std::string output;    // part of what the program wrote
    std::string verdict;   // part of the calculator's own verdict
};

TEST_F(Unattended, YesAnswersEveryBoxWithoutInputAndTheExitCodeSaysHowTheCalculatorsFared)
{
    const std::string updated = "images received intact";
    const std::vector<ScriptCase> cases = {
        {"single", {"--yes"}, {}, true, 0, "Update is complete.\nDo you want to continue with the update?\n[OK] Cancel\n--yes: Cancel\n", updated},
        {"set", {"-y", "--all"}, {}, true, 0, "1 calculator: 1 updated", updated},
        {"station", {"--yes", "--watch"}, {}, true, 0, "  updated", updated},
        {"current", {"--yes"}, {"--os-version", "02.00.0000"}, true, 0, "You do not need to update", ""},
        {"failed", {"--yes"}, {"--fault", "hangup:300"}, true, 1, "Update failed.\n[OK]\n",
         "cut off mid-flash"},
        {"unsupported set", {"--yes", "--all"}, {"--model", "12345678"}, true, 1, "1 not supported", ""},
        {"none in single", {"--yes"}, {}, false, 3, "zentrix-update: no calculator found", ""},
        {"none in a set", {"--yes", "--all"}, {}, false, 3, "No calculator was found", ""},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string device =
            c.hasCalculator ? StartCalculator(c.calculator) : std::string();
        auto program = Start(device, c.options);
        std::string seen;
        if (c.options.back() == "--watch") {
            // The station runs until it is told to end.
            // At the end of the output every read is empty.
            for (int empty = 0; seen.find(c.output) == std::string::npos;) {
                const std::string line = program->ReadLine(60000);
                ASSERT_FALSE(program->TimedOut()) << seen;
                empty = line.empty() ? empty + 1 : 0;
                ASSERT_LT(empty, 100) << "the station ended by itself:\n" << seen;
                seen += line + "\n";
            }
            kill(program->Pid(), SIGTERM);
        }
        seen += program->ReadRest();
        EXPECT_EQ(program->Wait(), c.exitCode) << seen;
        EXPECT_NE(seen.find(c.output), std::string::npos) << seen;
        // Every box was answered: none asked again or waited for a line.
        EXPECT_EQ(seen.find("Please answer"), std::string::npos) << seen;
        if (c.hasCalculator) {
            const std::string verdict = m_calculator->ReadRest();
            EXPECT_NE(verdict.find(c.verdict), std::string::npos) << verdict;
        }
        m_calculator.reset();
    }
}

TEST_F(Unattended, WithoutTheOptionsTheExitCodeStays18AndWithTheWindowTheyAreRefused)
{
    // Standard input at its end answers Cancel to the first warning.
    const std::string device = StartCalculator({});
    auto plain = Start(device, {});
    const std::string seen = plain->ReadRest();
    EXPECT_EQ(plain->Wait(), 18) << seen;
    EXPECT_NE(seen.find("Do you want to continue with the update?\nOK [Cancel]\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("Checking the calculator version"), std::string::npos) << seen;

    for (const char* option : {"--yes", "-y"}) {
        auto window = Start(device, {option}, "gui");
        const std::string said = window->ReadRest();
        EXPECT_EQ(window->Wait(), 2) << said;
        EXPECT_EQ(said, "zentrix-update: " + std::string(option == std::string("-y") ? "--yes" : option) +
                            " works in console mode only (ZENTRIX_UI=console chooses it)\n");
    }
}

}  // namespace
