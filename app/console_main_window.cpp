#include "app/console_main_window.h"

#include "app/updater_app.h"

void CConsoleMainWindow::DoModal()
{
    if (g_pApp != nullptr) {
        g_pApp->RunUpdateLoop();
    }
}
