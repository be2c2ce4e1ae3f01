#include "shell/console_main_window.h"

void CConsoleMainWindow::DoModal()
{
    if (m_start) {
        m_start();
    }
}
