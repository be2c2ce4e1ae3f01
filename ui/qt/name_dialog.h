// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Name... box of the rows and of the device chooser: a line for the
// calculator's name and one for its asset tag (typed, or scanned by a
// reader that types it and presses Enter), its question read with each
// line by a screen reader.
#include <QString>

#include "i18n/catalogue.h"
#include "shell/session/front_end.h"

class QWidget;

// Asks for a name and a tag, `now` filled in; false when the box was
// cancelled. `question` says which calculator it names.
bool AskCalculatorName(QWidget* owner, const MoCatalogue* texts, const QString& question, const CalculatorNaming& now,
                       CalculatorNaming& typed);
