// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes with the launcher platform's style bits: buttons (MB_OK,
// MB_OKCANCEL), icon (0x10 stop, 0x20 question, 0x30 exclamation, 0x40
// information) and default button (MB_DEFBUTTON2: the second). Escape or
// closing the box answers Cancel, or OK for a box without Cancel.
#include <functional>
#include <string>
#include <vector>

class QWidget;

// A box's button of its own: it does something, and the box comes back
// once that is done.
struct BoxAction {
    std::string label;   // shown as given
    std::function<void()> run;
};

// Shows the box modally in front of `owner` and returns IDOK or IDCANCEL.
// `details`, when not empty, is the box's detailed text (behind "Show
// Details..."); the box's own text stays as given.
// `beside` (may be null): a window the box must not cover (the rows of a set
// while the box asks about the next set). The box goes below it, else to its
// right, left or above; where the screen has no room, the window is made
// shorter (its rows scroll) to make room below it.
// Each of `actions` adds its button after the others; the box comes back
// after an action has run.
int ShowMessageBox(QWidget* owner, const char* text, const char* caption, unsigned style,
                   const std::string& details = {}, QWidget* beside = nullptr,
                   const std::vector<BoxAction>& actions = {});
