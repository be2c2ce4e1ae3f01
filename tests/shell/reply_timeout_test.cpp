// SPDX-License-Identifier: GPL-3.0-or-later
// ZENTRIX_REPLY_TIMEOUT as the program reads it: any whole number of seconds
// is a limit, anything else is one warning and no limit.
#include <gtest/gtest.h>

#include <string>

#include "shell/reply_timeout.h"

namespace {

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
                      "ZENTRIX_REPLY_TIMEOUT=" + shown + " is not a number of seconds; waiting without limit");
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

}  // namespace
