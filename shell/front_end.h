// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program shows and asks, in its own terms: the update run's port
// (progress, the Close command, the waits for the calculator) and modal
// message boxes. A front end (the window, the console, a test) implements it.
#include <string>

#include "update/update_port.h"

class IClassroomView;

// Message-box results and style bits: the values the launcher's platform
// uses, kept as plain data.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_DEFBUTTON2 = 0x100;

class IFrontEnd : public IUpdatePort {
public:
    // Shows a modal message box; returns IDOK or IDCANCEL, or 0 when the box
    // cannot be shown at all. `details`, when not empty, says why (the reason
    // of a failure); it is shown beside the text, never in place of it.
    virtual int MessageBox(const char* text, const char* caption, unsigned style,
                           const std::string& details = {}) = 0;

    // Asks the process to end with `code` once the update loop has returned.
    virtual void PostQuitMessage(int code) = 0;

    // Asks the user for the folder that holds the images (the program was
    // started without one, where there are none). False when the user
    // declines; a front end that cannot ask leaves `folder` empty.
    virtual bool ChooseImageFolder(std::string& /*folder*/) { return true; }

    // The rows of many calculators at once (--all, --watch); null for a
    // front end that cannot show them.
    virtual IClassroomView* Classroom() { return nullptr; }
};
