// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "device/safe_text.h"
#include "shell/screen/box_text.h"
#include "shell/session/front_end.h"

namespace {

QMessageBox::Icon IconFor(unsigned style)
{
    switch (style & 0xF0u) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// Texts end their lines with CR LF; a box shows them as plain lines.
QString PlainLines(const char* text)
{
    return QString::fromLocal8Bit(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

constexpr int kGap = 8;   // between the box and the window it stays clear of

// Moves `box` where it covers nothing of `window`.
void PlaceBeside(QWidget& box, QWidget& window)
{
    box.adjustSize();
    const QSize size = box.frameGeometry().size().expandedTo(box.sizeHint());
    const QRect room = window.screen() != nullptr ? window.screen()->availableGeometry() : QRect();
    QRect frame = window.frameGeometry();
    const int x = std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() - size.width()));
    const int y = std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() - size.height()));
    const QRect places[] = {
        QRect(QPoint(x, frame.bottom() + kGap), size),
        QRect(QPoint(frame.right() + kGap, y), size),
        QRect(QPoint(frame.left() - kGap - size.width(), y), size),
        QRect(QPoint(x, frame.top() - kGap - size.height()), size),
    };
    for (const QRect& place : places) {
        if (room.contains(place)) {
            box.move(place.topLeft());
            return;
        }
    }
    // No room anywhere: the window gives up the bottom of the screen.
    const int height = std::max(room.height() - size.height() - 2 * kGap - (frame.height() - window.height()),
                                window.minimumSizeHint().height());
    window.move(frame.left(), room.top());
    window.resize(window.width(), height);
    box.move(x, window.frameGeometry().bottom() + kGap);
}

}  // namespace

int ShowMessageBox(QWidget* owner, const char* text, const char* caption, unsigned style,
                   const std::string& details, QWidget* beside, const std::vector<BoxAction>& actions)
{
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromLocal8Bit(caption));
    box.setTextFormat(Qt::PlainText);
    // A caption the title bar would cut is read in the body as well.
    box.setText(PlainLines(BoxBody(text, caption).c_str()));
    box.setIcon(IconFor(style));
    if (!details.empty()) {
        box.setDetailedText(QString::fromLocal8Bit(SafeLine(details).c_str()));
    }

    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel = nullptr;
    if ((style & 0xFu) == MB_OKCANCEL) {
        cancel = box.addButton(QMessageBox::Cancel);
    }
    const bool secondIsDefault = (style & 0xF00u) == MB_DEFBUTTON2 && cancel != nullptr;
    box.setDefaultButton(secondIsDefault ? cancel : ok);
    box.setEscapeButton(cancel != nullptr ? cancel : ok);

    const BoxAction* asked = nullptr;
    for (const BoxAction& action : actions) {
        QPushButton* button = box.addButton(QString::fromStdString(action.label), QMessageBox::ActionRole);
        QObject::connect(button, &QAbstractButton::clicked, [&asked, &action] { asked = &action; });
    }

    if (beside != nullptr && beside->isVisible()) {
        PlaceBeside(box, *beside);
    }
    // Any button closes the box; after the action's it comes back.
    for (;;) {
        asked = nullptr;
        box.exec();
        if (asked == nullptr) {
            break;
        }
        asked->run();
    }
    // A box that ends without a click (the program being ended under it)
    // counts as Escape, so it never agrees to anything.
    if (box.clickedButton() == ok) {
        return IDOK;
    }
    return cancel != nullptr ? IDCANCEL : IDOK;
}
