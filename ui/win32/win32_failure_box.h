// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The box that says a run failed (dialog 131): the warning icon, the text
// with its reason and next step, OK, and "Save a problem report...", whose
// click runs `save` with the box as the owner of what it shows; the box
// stays until OK, Escape or Close.
#include <functional>
#include <string>

struct HWND__;

// What the box shows, in the user's language (UTF-8).
struct FailureBoxTexts {
    std::string body;
    std::string caption;
    std::string okLabel;
    std::string saveLabel;
};

void RunWin32FailureBox(HWND__* owner, const FailureBoxTexts& texts, const std::function<void(HWND__* box)>& save);
