// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/name_dialog.h"

#include <QInputDialog>
#include <QLineEdit>

#include "i18n/text_format.h"
#include "ui/qt/qt_text.h"

bool AskCalculatorName(QWidget* owner, const MoCatalogue* texts, const QString& question, const QString& now,
                       QString& typed)
{
    QInputDialog box(owner);
    box.setObjectName(QStringLiteral("nameDialog"));
    box.setWindowTitle(Tr(texts, N_("Name this calculator")));
    box.setLabelText(question);
    box.setInputMode(QInputDialog::TextInput);
    box.setTextValue(now);
    box.setOkButtonText(Tr(texts, N_("OK")));
    box.setCancelButtonText(Tr(texts, N_("Cancel")));
    // The line is read by the question it answers (without a window
    // manager, the title is read nowhere else).
    if (auto* line = box.findChild<QLineEdit*>(); line != nullptr) {
        line->setAccessibleName(Tr(texts, N_("Name")));
        line->setAccessibleDescription(question);
    }
    box.setAccessibleName(box.windowTitle());
    if (box.exec() != QDialog::Accepted) {
        return false;
    }
    typed = box.textValue();
    return true;
}
