// SPDX-License-Identifier: GPL-3.0-or-later
// Outside text as it is shown: escaped so that it cannot steer a terminal or
// forge a line, unambiguous, and cut when it is long.
#include <gtest/gtest.h>

#include <string>

#include "device/safe_text.h"

namespace {

TEST(SafeText, ControlsStrayBytesAndBackslashesAreEscapedPrintableTextStays)
{
    struct Case {
        std::string in;
        std::string shown;
    };
    const Case cases[] = {
        {"", ""},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"01.05.0000", "01.05.0000"},
        // The terminal's title and a full reset, as a calculator may send them.
        {"\x1b]0;pwned\x07\x1b" "c", "\\x1b]0;pwned\\x07\\x1bc"},
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {std::string("x\0y", 3), "x\\x00y"},
        {"\x7f", "\\x7f"},
        // Backslashes stay: Windows paths read as they are.
        {"\\\\.\\COM3", "\\\\.\\COM3"},
        // Valid UTF-8 stays: two, three and four bytes.
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80", "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80"},
        // C1 controls (CSI as U+009B) are escaped although valid UTF-8.
        {"\xc2\x9b" "2J", "\\xc2\\x9b2J"},
        {"\xc2\xa0", "\xc2\xa0"},
        // The marks that turn text around or isolate it, which could make a
        // value read backwards: escaped by their code; their neighbours stay.
        {"a\xe2\x80\xae" "b", "a\\u202eb"},
        {"\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c\xe2\x80\xaa",
         "\\u2066\\u2069\\u200e\\u200f\\u061c\\u202a"},
        {"\xe2\x80\xaf\xe2\x81\xaa", "\xe2\x80\xaf\xe2\x81\xaa"},
        // Line and paragraph separators, and the characters of no width that
        // make two values look alike: escaped; their neighbours stay.
        {"a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\\u2028b\\u2029"},
        {"ZX\xe2\x80\x8b-1\xe2\x80\x8c\xe2\x80\x8d\xe2\x81\xa0\xef\xbb\xbf", "ZX\\u200b-1\\u200c\\u200d\\u2060\\ufeff"},
        {"\xe2\x80\x8a\xe2\x80\xa7\xe2\x81\x9f\xef\xbb\xbe", "\xe2\x80\x8a\xe2\x80\xa7\xe2\x81\x9f\xef\xbb\xbe"},
        // What is not UTF-8: a lone lead or continuation byte, a cut
        // sequence, an overlong form, a surrogate, beyond U+10FFFF.
        {"\xff", "\\xff"},
        {"\x80z", "\\x80z"},
        {"\xe2\x82", "\\xe2\\x82"},
        {"\xc0\xaf", "\\xc0\\xaf"},
        {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeText(c.in), c.shown) << c.shown;
        EXPECT_EQ(SafeLine(c.in), c.shown) << c.shown;   // the same escapes, never cut
    }
}

TEST(SafeText, LongValuesAreCutWithAnEllipsisNeverInsideAnEscapeOrACharacter)
{
    struct Case {
        std::string in;
        size_t maxChars;
        std::string shown;
    };
    const Case cases[] = {
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "abcdef..."},
        {"\x1b\x1b\x1b", 2, "\\x1b\\x1b..."},
        {"\xc3\xbc\xc3\xbc\xc3\xbc", 2, "\xc3\xbc\xc3\xbc..."},
        {"ab", 0, "..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeText(c.in, c.maxChars), c.shown) << c.shown;
    }
    // A 120 KB environment value is shown by its first 200 characters.
    const std::string huge(120 * 1024, 'x');
    EXPECT_EQ(SafeText(huge), std::string(kSafeTextChars, 'x') + "...");
    // A message is never cut, and made safe once it stays as it is.
    const std::string message = "cannot open " + SafeText("/tmp/\x1b[2J\\" + huge) + ": reason";
    EXPECT_EQ(SafeLine(message), message);
    EXPECT_EQ(SafeLine(huge + "\n").size(), huge.size() + 2);
}

}  // namespace
