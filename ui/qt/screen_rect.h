// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window geometry on the desktop: a rectangle in screen coordinates (right
// and bottom exclusive) and the centring of one window on another.
#include <QWidget>

// What a window leaves free around itself when it grows to fit the screen.
constexpr int kScreenMargin = 40;

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A widget's outer frame; empty for none.
inline ScreenRect FrameRect(const QWidget* widget)
{
    if (widget == nullptr) {
        return {};
    }
    const QRect frame = widget->frameGeometry();
    return ScreenRect{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

// Where a window of this size lands when centred on `c` (divisions truncate
// toward zero), even when that is partly off the screen.
inline void CentreOn(const ScreenRect& c, int width, int height, int& x, int& y)
{
    x = c.left + (c.right - c.left) / 2 - width / 2;
    y = c.top + (c.bottom - c.top) / 2 - height / 2;
}
