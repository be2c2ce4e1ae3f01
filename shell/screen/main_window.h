// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's main window as start-up sees it: something that is run
// modally once and whose run is where the update loop happens.
#include <functional>
#include <memory>

class IMainWindow {
public:
    virtual ~IMainWindow() = default;

    // Shows the window and runs it until the quit request (or, with nothing
    // else to do, until the user closes it). Returns at once, showing
    // nothing, when the window cannot be created.
    virtual void DoModal() = 0;
};

// What the main window starts once, as its first paint is handled: the
// update loop.
using StartLoop = std::function<void()>;

// Makes the main window for an owner-window number (0: no owner).
using MainWindowFactory = std::function<std::unique_ptr<IMainWindow>(int owner, StartLoop start)>;
