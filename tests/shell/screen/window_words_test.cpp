// SPDX-License-Identifier: GPL-3.0-or-later
// The words the windows share: a caption that a title bar would cut shown
// again as the body's first line, a calculator's name, the time left and
// the notice of a calculator that is not answering.
#include <gtest/gtest.h>

#include "shell/screen/box_text.h"
#include "shell/screen/device_name.h"
#include "shell/screen/stall_notice.h"
#include "shell/screen/time_left.h"

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

TEST(DeviceName, UsbByPortAndSerialSerialPortsByTheirPath)
{
    struct Case {
        const char* path;
        UsbLocation usb;
        const char* name;
    };
    const Case cases[] = {
        {"usb:1:7", {"12AB34", "1-2", "1a2b:5e01", ""}, "USB port 1-2, serial 12AB34"},
        {"usb:1:7", {"12AB34", "1-2", "1a2b:5e01", "Desk 3"}, "Desk 3"},
        {"usb:1:7", {"", "1-2.4", "1a2b:5e01", ""}, "USB port 1-2.4"},
        {"\\\\?\\usb#vid_1a2b&pid_5e01#ZX-0042#{x}", {"ZX-0042", "", "1a2b:5e01", ""}, "USB calculator, serial ZX-0042"},
        {"/dev/serial/by-id/usb-Zentrix_Link_A1-if00-port0", {}, "/dev/serial/by-id/usb-Zentrix_Link_A1-if00-port0"},
        {"COM3", {}, "COM3"},
        {"\\\\.\\COM12", {}, "COM12"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FriendlyDeviceName(c.path, c.usb).English(), c.name);
    }
}

TEST(TimeLeft, JudgedFromTheBarsPaceOnceASecondAndAStepAreSeen)
{
    CTimeLeft left;
    left.Start(1000, 0);
    EXPECT_EQ(left.SecondsLeft(1900, 0, 100), -1);    // under a second
    EXPECT_EQ(left.SecondsLeft(3000, 0, 100), -1);    // no step
    EXPECT_EQ(left.SecondsLeft(3000, 25, 100), 6);    // 2 s for a quarter
    EXPECT_EQ(left.SecondsLeft(3001, 25, 100), 7);    // rounded up
    EXPECT_EQ(left.SecondsLeft(5000, 50, 100), 4);
    EXPECT_EQ(left.SecondsLeft(5000, 100, 100), 0);
    EXPECT_EQ(left.SecondsLeft(5000, 5, 100), -1);    // the bar went back: starts over from here
    EXPECT_EQ(left.SecondsLeft(5500, 6, 100), -1);
    EXPECT_EQ(left.SecondsLeft(6000, 6, 100), 94);
    EXPECT_EQ(TimeLeftText(0).English(), "About 0 s left");
    EXPECT_EQ(TimeLeftText(59).English(), "About 59 s left");
    EXPECT_EQ(TimeLeftText(125).English(), "About 2 min 5 s left");
}

// A window that keeps what it was told.
class NoticeWindow : public CProgressDlg {
public:
    void DestroyWindow() override {}
    void ShowNotice(const Message& notice) override { shown.push_back(notice.Empty() ? "-" : notice.English()); }
    void ShowTimeLeft(const Message& text) override { shown.push_back("time left '" + text.English() + "'"); }
    std::vector<std::string> shown;

protected:
    void Create() override {}
    void PlaceWindow() override {}
    void SetWindowText(const char*) override {}
    bool HasPhaseTextControl() override { return false; }
    void SetPhaseText(const char*) override {}
    void ShowWindow() override {}
};

TEST(StallNotice, ShownOnceASecondWhileTheWaitMayEndTakenAwayWhenItAnswers)
{
    NoticeWindow window;
    CStallNotice notice;
    const ReplyWait waits[] = {{500, false}, {15000, true}, {15900, true}, {16000, true}, {200, false}, {300, false}};
    for (const ReplyWait& wait : waits) {
        notice.Show(window, wait);
    }
    // The time left goes while nothing moves.
    EXPECT_EQ(window.shown, (std::vector<std::string>{"time left ''", StallNoticeText(15000).English(), StallNoticeText(16000).English(),
                                                       "-"}));
    EXPECT_EQ(StallNoticeText(19999).English(),
              "The calculator has not answered for 19 s.\r\nCheck the cable and that the calculator is in receive "
              "mode, or press Stop to end the update.");
}

}  // namespace
