// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notice a progress window shows while the calculator is not answering:
// for how long, what to check, and that Stop ends the update. Shown again
// only when the seconds change, taken away when the calculator answers.
#include <string>

#include "i18n/message.h"

#include "shell/screen/progress_window.h"
#include "update/update_port.h"

// The notice's English text for a wait of `waitedMs`.
Message StallNoticeText(uint32_t waitedMs);

class CStallNotice {
public:
    // Tells `window` of `wait`: the notice while the wait may be ended.
    void Show(CProgressDlg& window, const ReplyWait& wait);

private:
    const CProgressDlg* m_window = nullptr;   // where the notice is shown, if anywhere
    long m_seconds = -1;                      // the seconds it says
};
