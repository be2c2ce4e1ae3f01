// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Name... box of the rows and of the device chooser: one line for the
// calculator's name, its question read with the line by a screen reader.
#include <QString>

#include "i18n/catalogue.h"

class QWidget;

// Asks for a name, `now` filled in; false when the box was cancelled.
// `question` says which calculator it names.
bool AskCalculatorName(QWidget* owner, const MoCatalogue* texts, const QString& question, const QString& now,
                       QString& typed);
