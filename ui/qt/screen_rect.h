#pragma once
// A widget's outer frame as the front-end seam's screen rectangle.
#include <QWidget>

#include "ui/front_end.h"

inline ScreenRect FrameRect(const QWidget* widget)
{
    if (widget == nullptr) {
        return {};
    }
    const QRect frame = widget->frameGeometry();
    return ScreenRect{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}
