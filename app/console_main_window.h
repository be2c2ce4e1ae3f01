#pragma once
// The main window of console mode: there is nothing to show, so its modal
// run is the update loop itself, started once as the first paint would.
#include "app/main_window.h"

class CConsoleMainWindow : public IMainWindow {
public:
    void DoModal() override;
};
