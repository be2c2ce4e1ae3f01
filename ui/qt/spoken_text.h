// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A widget that a screen reader reads by a text of its own: a row's device
// label is read as the whole row (calculator, phase, percent or result and
// reason) while it shows only the calculator's name. The text is read when
// asked for, so that it changes at every step of the bar without a word;
// AnnounceSpokenText says it out loud when the row has news.
#include <QString>

class QWidget;

void SetSpokenText(QWidget& widget, const QString& text);
QString SpokenText(const QWidget& widget);
// Tells the screen reader that the widget's name changed (the news of a row).
void AnnounceSpokenText(QWidget& widget);

// Set only when they change: setting a widget's accessible name or
// description announces it, even when it stays the same.
void SetAccessibleName(QWidget& widget, const QString& name);
void SetAccessibleDescription(QWidget& widget, const QString& description);
