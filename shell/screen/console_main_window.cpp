// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/console_main_window.h"

void CConsoleMainWindow::DoModal()
{
    if (m_start) {
        m_start();
    }
}
