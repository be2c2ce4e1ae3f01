// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/name_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/device_labels.h"
#include "i18n/text_format.h"
#include "ui/qt/qt_text.h"

namespace {

// A line of the box, read by its own name and by the question it answers
// (without a window manager, the title is read nowhere else).
QLineEdit* AnswerLine(QDialog& box, const char* objectName, const std::string& now, const QString& accessibleName,
                      const QString& question)
{
    auto* line = new QLineEdit(QString::fromStdString(now), &box);
    line->setObjectName(QString::fromLatin1(objectName));
    line->setMaxLength(static_cast<int>(kLabelChars));
    line->setAccessibleName(accessibleName);
    line->setAccessibleDescription(question);
    return line;
}

}  // namespace

bool AskCalculatorName(QWidget* owner, const MoCatalogue* texts, const QString& question, const CalculatorNaming& now,
                       CalculatorNaming& typed)
{
    QDialog box(owner);
    box.setObjectName(QStringLiteral("nameDialog"));
    box.setWindowTitle(Tr(texts, N_("Name this calculator")));
    box.setAccessibleName(box.windowTitle());
    auto* layout = new QVBoxLayout(&box);
    auto* prompt = new QLabel(question, &box);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    QLineEdit* name = AnswerLine(box, "nameField", now.label, Tr(texts, N_("Name")), question);
    QLineEdit* tag = AnswerLine(box, "assetTagField", now.assetTag, Tr(texts, N_("Asset tag")), question);
    auto* form = new QFormLayout;
    form->addRow(Tr(texts, N_("&Name:")), name);
    form->addRow(Tr(texts, N_("Asset &tag (optional):")), tag);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(&box);
    QPushButton* ok = buttons->addButton(Tr(texts, N_("OK")), QDialogButtonBox::AcceptRole);
    buttons->addButton(Tr(texts, N_("Cancel")), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    box.resize(std::max(box.sizeHint().width(), 420), box.sizeHint().height());
    name->setFocus();
    name->selectAll();
    if (box.exec() != QDialog::Accepted) {
        return false;
    }
    typed = {name->text().toStdString(), tag->text().toStdString()};
    return true;
}
