// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window of console mode: there is nothing to show, so its modal
// run is the update loop itself, started once as the first paint would.
#include "shell/screen/main_window.h"

class CConsoleMainWindow : public IMainWindow {
public:
    explicit CConsoleMainWindow(StartLoop start) : m_start(std::move(start)) {}
    void DoModal() override;

private:
    StartLoop m_start;
};
