// SPDX-License-Identifier: GPL-3.0-or-later
// A caption that a title bar would cut is shown again as the body's first
// line; texts themselves stay as they are.
#include <gtest/gtest.h>

#include "shell/box_text.h"

namespace {

TEST(BoxText, LongestLineCountsCharactersNotBytesAndEndsLinesAtCrLf)
{
    EXPECT_EQ(LongestLineLength(""), 0u);
    EXPECT_EQ(LongestLineLength("Are you sure?"), 13u);
    EXPECT_EQ(LongestLineLength("ab\r\nabcd\r\n\r\nabc"), 4u);
    EXPECT_EQ(LongestLineLength("L\xC3\xB6schen"), 7u);   // "Löschen": ö is two bytes
    EXPECT_EQ(LongestLineLength("\xE2\x80\xA6\nx"), 1u);   // an ellipsis is one character
}

TEST(BoxText, OnlyACaptionLongerThanTheBodysLongestLineIsRepeated)
{
    struct Case {
        const char* text;
        const char* caption;
        const char* body;
    };
    const Case cases[] = {
        {"Are you sure?", "Delete all data in calculator's Main Memory.",
         "Delete all data in calculator's Main Memory.\r\n\r\nAre you sure?"},
        {"Bist du sicher?", "Alle Daten im Hauptspeicher des Rechners l\xC3\xB6schen.",
         "Alle Daten im Hauptspeicher des Rechners l\xC3\xB6schen.\r\n\r\nBist du sicher?"},
        {"Updating deletes all data.\r\nDo you want to continue with the update?", "Warning",
         "Updating deletes all data.\r\nDo you want to continue with the update?"},
        {"Update failed.", "Error", "Update failed."},
        {"abcd", "abcd", "abcd"},   // as long as the line: it fits
        {"abcd", "abcde", "abcde\r\n\r\nabcd"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BoxBody(c.text, c.caption), c.body) << c.caption;
        EXPECT_EQ(CaptionWouldBeCut(c.text, c.caption), std::string(c.body) != c.text) << c.caption;
    }
}

}  // namespace
