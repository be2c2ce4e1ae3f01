// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dialog units: window layouts are given in units of the dialog's font, a
// quarter of its average character width across and an eighth of its height
// down, so they scale with the font.
#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

struct DialogBaseUnits {
    int x = 0;   // average character width in pixels
    int y = 0;   // character height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// n * numerator / denominator, rounded half away from zero.
int MulDiv(int n, int numerator, int denominator);

QSize DialogUnitsToPixels(const QSize& size, const DialogBaseUnits& units);
QRect DialogUnitsToPixels(const QRect& rect, const DialogBaseUnits& units);

// Converts a form laid out in dialog units: the form's own size becomes its
// fixed client size, and each direct child's geometry is converted.
void ConvertFormFromDialogUnits(QWidget& form, const QFont& font);
