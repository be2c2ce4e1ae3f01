// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window of many calculators shows, as plain data: the update
// loop's rows and texts, copied on its thread.
#include <string>
#include <vector>

#include "shell/session/classroom_view.h"

// What the window shows, as plain data.
struct ClassroomContent {
    std::string heading;                // once the set is done: its counts
    std::vector<ClassroomRow> rows;     // their words rendered through `texts`
    const MoCatalogue* texts = nullptr;
    std::string question;               // asked below the rows; empty: none
    std::string nextLabel = "Next";             // the buttons, in the user's language
    std::string stopLabel = "Stop";             // a silent row's, where an ended row's Next is
    std::string historyLabel = "History...";
    std::string nameLabel = "Name...";          // a taken row's, when `offersName`
    bool offersName = false;                    // the rows may be given a name
    std::string okLabel = "OK";
    std::string cancelLabel = "Cancel";         // empty: the question has OK alone
    std::string retryLabel;                     // between OK and Cancel; empty: none
    int focused = 0;                            // the question's button Enter presses: IDOK, IDRETRY or IDCANCEL
};
