// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launcher's window that owns the main window. On X11 its number is an
// X window id; elsewhere the number has no meaning to us.
#include <QRect>

enum class OwnerLookup {
    None,       // no owner asked for, or not on X11: the number is ignored
    Missing,    // the number names no window
    Found,
};

struct OwnerWindow {
    OwnerLookup lookup = OwnerLookup::None;
    QRect geometry;   // on the screen, when found
};

OwnerWindow LookUpOwnerWindow(int owner);
