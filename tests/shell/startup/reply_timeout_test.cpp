// SPDX-License-Identifier: GPL-3.0-or-later
// ZENTRIX_REPLY_TIMEOUT as the program reads it: any whole number of seconds
// is a limit, anything else is one warning and counts as not set.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/startup/device_config.h"
#include "shell/startup/reply_timeout.h"

namespace {

namespace fs = std::filesystem;

TEST(ReplyTimeoutSetting, WholeSecondsAreTheLimitAnythingElseIsOneWarningNamingTheValue)
{
    constexpr uint32_t kLongestMs = kMaxReplyTimeoutSeconds * 1000;
    struct Case {
        const char* text;
        uint32_t ms;
        bool warned;
    };
    const Case cases[] = {
        {nullptr, 0, false},
        {"", 0, false},
        {"0", 0, false},
        {"2", 2000, false},
        {"00002", 2000, false},
        {"000002", 2000, false},
        {" 2", 2000, false},
        {"2 ", 2000, false},
        {"\t 30 \t", 30000, false},
        {"86400", 86400000, false},
        {"86401", 86401000, false},
        {"4294967", kLongestMs, false},
        // Beyond what the run counts: held at the longest, never wrapped.
        {"4294968", kLongestMs, false},
        {"99999999999999999999999999", kLongestMs, false},
        {"-1", 0, true},
        {"+5", 0, true},
        {"1e9", 0, true},
        {"1.5", 0, true},
        {"2x", 0, true},
        {"2 3", 0, true},
        {"   ", 0, true},
        {"0x10", 0, true},
    };
    for (const Case& c : cases) {
        const std::string shown = c.text == nullptr ? "(unset)" : c.text;
        const ReplyTimeoutSetting setting = ParseReplyTimeout(c.text);
        EXPECT_EQ(setting.silenceLimitMs, c.ms) << shown;
        if (c.warned) {
            EXPECT_EQ(setting.warning.English(),
                      "ZENTRIX_REPLY_TIMEOUT=" + shown + " is not a number of seconds; it is ignored");
            EXPECT_TRUE(setting.malformed) << shown;
            // A typo keeps the limit of a run nobody watches, and the configured one.
            EXPECT_EQ(ChooseSilenceLimit(setting, std::nullopt, true).ms, kUnattendedSilenceLimitMs) << shown;
            EXPECT_EQ(ChooseSilenceLimit(setting, 7000, false).ms, 7000u) << shown;
        } else {
            EXPECT_EQ(setting.warning.English(), "") << shown;
        }
    }
    // The value in the warning is escaped and cut.
    const std::string huge = "\x1b[2J" + std::string(120 * 1024, '9');
    const std::string warning = ParseReplyTimeout(huge.c_str()).warning.English();
    EXPECT_EQ(warning.rfind("ZENTRIX_REPLY_TIMEOUT=\\x1b[2J999", 0), 0u) << warning.substr(0, 40);
    EXPECT_LT(warning.size(), 300u);
    EXPECT_NE(warning.find("999... is not a number of seconds"), std::string::npos);
}


// Where the limit comes from: the variable, else the configuration files'
// reply-timeout, else 60 s for a run nobody watches and none otherwise.
TEST(ReplyTimeoutSetting, UnattendedRunsEndASilenceOf60SecondsUnlessALimitOrNoneIsSet)
{
    const fs::path dir = fs::temp_directory_path() / "zentrix-reply-timeout-test";
    fs::create_directories(dir);
    DeviceSources files;
    files.userFile = (dir / "user.conf").string();
    files.machineFile = (dir / "machine.conf").string();
    std::ofstream(files.machineFile) << "reply-timeout = 7\n";
    struct Case {
        const char* variable;
        const char* userFile;   // null: no such file
        bool unattended;
        uint32_t ms;
    };
    const Case cases[] = {
        {nullptr, nullptr, true, 7000},          // the machine's file
        {nullptr, "reply-timeout = 0\n", true, 0},   // the user's file wins, 0 is no limit
        {nullptr, "reply-timeout=soon\n", true, 7000},
        {"0", "reply-timeout = 3\n", true, 0},  // the variable wins
        {"2", nullptr, false, 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.userFile == nullptr ? "(no user file)" : c.userFile);
        fs::remove(files.userFile);
        if (c.userFile != nullptr) {
            std::ofstream(files.userFile) << c.userFile;
        }
        EXPECT_EQ(ChooseSilenceLimit(ParseReplyTimeout(c.variable), ConfiguredSilenceLimitMs(files), c.unattended).ms,
                  c.ms);
    }
    fs::remove_all(dir);
    // Nothing set anywhere.
    const SilenceLimit unattended = ChooseSilenceLimit(ParseReplyTimeout(nullptr), std::nullopt, true);
    EXPECT_EQ(unattended.ms, 60000u);
    EXPECT_NE(unattended.source.English().find("reply-timeout = 0"), std::string::npos);
    EXPECT_EQ(ChooseSilenceLimit(ParseReplyTimeout(""), std::nullopt, false).ms, 0u);
    // A value that is no number of seconds is a warning naming its line.
    const std::vector<Message> warnings = ParseConfigText("reply-timeout = soon\nreply-timeout = 5\n", "f.conf").warnings;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].English(),
              "f.conf:1: reply-timeout is a whole number of seconds, not soon; line ignored");
}

}  // namespace
