// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/stall_notice.h"

#include "i18n/message.h"

Message StallNoticeText(uint32_t waitedMs)
{
    return Message(N_("The calculator has not answered for %s.\r\n"
                         "Check the cable and that the calculator is in receive mode, or press Stop to end the "
                         "update."),
                      {SecondsText(waitedMs / 1000)});
}

void CStallNotice::Show(CProgressDlg& window, const ReplyWait& wait)
{
    const long seconds = wait.endable ? static_cast<long>(wait.waitedMs / 1000) : -1;
    if (&window == m_window && seconds == m_seconds) {
        return;
    }
    const bool wasShown = &window == m_window && m_seconds >= 0;
    m_window = &window;
    m_seconds = seconds;
    if (seconds >= 0) {
        if (!wasShown) {
            window.ShowTimeLeft({});   // nothing moves while it does not answer
        }
        window.ShowNotice(StallNoticeText(wait.waitedMs));
    } else if (wasShown) {
        window.ShowNotice(Message());
    }
}
