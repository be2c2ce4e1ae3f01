// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/os_version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each pair compared both ways: the order must turn with its operands.
TEST(OsVersionText, VersionsCompareAsNumbersPartByPartAndAsTextOtherwise)
{
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"5.10.0", "5.9.2", 1},                        // 10 > 9 as numbers, not as text
        {"02.00.0000", "2.0", 0},                      // leading zeros and missing parts
        {"5", "5.0.0", 0},
        {"1.2.3", "1.2.3.1", -1},
        {"99999999999999999999999.1", "99999999999999999999998.9", 1},   // longer than any integer type
        {"5.1a", "5.1b", -1},                          // letters: as text
        {"5.10", "5.1a", -1},                          // a number against a text part: as text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " <> " + c.b);
        EXPECT_EQ(CompareOsVersions(c.a, c.b), c.order);
        EXPECT_EQ(CompareOsVersions(c.b, c.a), -c.order);
    }
}

TEST(OsVersionText, OnlyDottedPartsOfDigitsAndLettersStartingWithADigitAreVersions)
{
    const std::string longest(64, '9');
    for (const std::string& good : {std::string("5"), std::string("5.10.0"), std::string("02.00.0000"),
                                    std::string("5.1a"), longest}) {
        EXPECT_TRUE(IsVersionText(good)) << good;
    }
    for (const std::string& bad : {std::string(), std::string("v5.1"), std::string(".5"), std::string("5."),
                                   std::string("5..1"), std::string("5.1-beta"), std::string("5 1"),
                                   std::string("5.1\n"), longest + "9"}) {
        EXPECT_FALSE(IsVersionText(bad)) << bad;
    }
}

}  // namespace
