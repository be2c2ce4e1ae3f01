// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader is told of a row: its one text, and which changes are
// said at once.
#include <gtest/gtest.h>

#include "shell/session/row_speech.h"

namespace {

ClassroomRow Running(int pos, int upper)
{
    ClassroomRow row;
    row.device = "/dev/ttyUSB0";
    row.phase = Message("Sending the OS");
    row.pos = pos;
    row.upper = upper;
    return row;
}

ClassroomRow Silent(uint32_t ms)
{
    ClassroomRow row = Running(10, 40);
    row.silent = true;
    row.silentMs = ms;
    return row;
}

ClassroomRow Ended(UpdateResult result, const char* word, const char* reason)
{
    ClassroomRow row = Running(40, 40);
    row.finished = true;
    row.result = result;
    row.resultWord = Message(word);
    row.reason = reason[0] != '\0' ? Message(reason) : Message();
    return row;
}

TEST(RowSpeech, OneTextSaysTheCalculatorThePhaseAndHowFarOrHowItEnded)
{
    const struct {
        ClassroomRow row;
        const char* said;
    } cases[] = {
        {Running(0, 0), "Calculator TI-1: Sending the OS"},
        {Running(0, 40), "Calculator TI-1: Sending the OS, 0 percent"},
        {Running(13, 40), "Calculator TI-1: Sending the OS, 32 percent"},
        {Running(40, 40), "Calculator TI-1: Sending the OS, 100 percent"},
        // A bar past a million blocks does not overflow its percent.
        {Running(2000000000, 2000000000), "Calculator TI-1: Sending the OS, 100 percent"},
        {Silent(12500), "Calculator TI-1: Sending the OS - not answering for 12 s"},
        {Ended(Success, "updated", ""), "Calculator TI-1: updated"},
        {Ended(Failed, "failed", "The calculator stopped answering."),
         "Calculator TI-1: failed - The calculator stopped answering."},
        // An ended row is said by its result even when it was silent before.
        {[] {
             ClassroomRow row = Ended(Failed, "failed", "Stopped by the user.");
             row.silent = true;
             return row;
         }(),
         "Calculator TI-1: failed - Stopped by the user."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowSpokenText(c.row, Message::Raw("TI-1")).English(), c.said);
    }
}

TEST(RowSpeech, OnlyGoingSilentFailingOrEndingIsNews)
{
    const ClassroomRow running = Running(10, 40);
    const ClassroomRow further = Running(30, 40);
    const ClassroomRow silent = Silent(20000);
    const ClassroomRow longer = Silent(40000);
    const ClassroomRow failed = Ended(Failed, "failed", "gone");
    const ClassroomRow updated = Ended(Success, "updated", "");
    const ClassroomRow current = Ended(AlreadyCurrent, "current", "Already 01.05.");
    const struct {
        const ClassroomRow* before;
        const ClassroomRow& now;
        RowNews news;
    } cases[] = {
        {nullptr, running, RowNews::None},
        {&running, further, RowNews::None},   // a percent more is not said
        {&running, silent, RowNews::Silent},
        {nullptr, silent, RowNews::Silent},
        {&silent, longer, RowNews::None},     // nor every second of its silence
        {&silent, running, RowNews::None},    // answering again
        {&running, silent, RowNews::Silent},
        {&silent, failed, RowNews::Failed},
        {&running, updated, RowNews::Ended},
        {&running, current, RowNews::Ended},
        {nullptr, failed, RowNews::Failed},
        {&failed, failed, RowNews::None},     // said once
        {&updated, updated, RowNews::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NewsOf(c.before, c.now), c.news) << RowSpokenText(c.now, Message::Raw("x")).English();
    }
}

}  // namespace
