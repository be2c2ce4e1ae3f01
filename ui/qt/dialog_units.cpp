// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>
#include <cstdlib>

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int n, int numerator, int denominator)
{
    const long long product = static_cast<long long>(n) * numerator;
    const long long half = std::llabs(denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(denominator);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

QSize DialogUnitsToPixels(const QSize& size, const DialogBaseUnits& units)
{
    return QSize(MulDiv(size.width(), units.x, 4), MulDiv(size.height(), units.y, 8));
}

QRect DialogUnitsToPixels(const QRect& rect, const DialogBaseUnits& units)
{
    return QRect(QPoint(MulDiv(rect.x(), units.x, 4), MulDiv(rect.y(), units.y, 8)),
                 DialogUnitsToPixels(rect.size(), units));
}

void ConvertFormFromDialogUnits(QWidget& form, const QFont& font)
{
    const DialogBaseUnits units = BaseUnitsOf(font);
    for (QWidget* child : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setGeometry(DialogUnitsToPixels(child->geometry(), units));
    }
    form.setFixedSize(DialogUnitsToPixels(form.size(), units));
}
