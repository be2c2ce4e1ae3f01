// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/updater_icon.h"

#include <QPainter>
#include <QPolygonF>

namespace {

const QColor kBody(0x30, 0x34, 0x40);
const QColor kScreen(0x9c, 0xd8, 0x8c);
const QColor kArrow(0x10, 0x50, 0x20);
const QColor kKey(0xe0, 0xe0, 0xe0);

}  // namespace

QPixmap DrawUpdaterIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const qreal u = size / 16.0;   // drawn on a 16 x 16 grid

    painter.setPen(Qt::NoPen);
    painter.setBrush(kBody);
    painter.drawRect(QRectF(3 * u, 0, 10 * u, 16 * u));
    painter.setBrush(kScreen);
    painter.drawRect(QRectF(4 * u, 1 * u, 8 * u, 6 * u));

    painter.setBrush(kArrow);
    painter.drawRect(QRectF(7 * u, 2 * u, 2 * u, 2 * u));
    painter.drawPolygon(QPolygonF({QPointF(5 * u, 4 * u), QPointF(11 * u, 4 * u),
                                   QPointF(8 * u, 7 * u)}));

    painter.setBrush(kKey);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            painter.drawRect(QRectF((4 + 3 * column) * u, (9 + 2 * row) * u, 2 * u, 1 * u));
        }
    }
    return pixmap;
}

QIcon UpdaterIcon()
{
    QIcon icon;
    icon.addPixmap(DrawUpdaterIcon(32));
    icon.addPixmap(DrawUpdaterIcon(16));
    return icon;
}
