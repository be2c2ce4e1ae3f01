// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "shell/front_end.h"
#include "ui/qt/guarded_dialog.h"
#include "ui/qt/qt_message_box.h"

namespace {

struct BoxSeen {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    QString text;
    QString title;
    QString details;
};

// Shows a box, looks at it once it is up, then acts on it.
int ShowAndAct(unsigned style, BoxSeen& seen, const std::function<void(QMessageBox&)>& act,
               const std::string& details = {})
{
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no box";
            return;
        }
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons << button->text().remove(QLatin1Char('&'));
        }
        seen.defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.details = box->detailedText();
        for (QAbstractButton* button : box->buttons()) {
            if (box->buttonRole(button) == QMessageBox::ActionRole) {
                seen.buttons.removeAll(button->text().remove(QLatin1Char('&')));   // "Show Details..."
            }
        }
        act(*box);
    });
    return ShowMessageBox(nullptr, "first\r\nsecond", "Title", style, details);
}

// The same for a box of the given text and caption.
BoxSeen SeenAndCancelled(const char* text, const char* caption)
{
    BoxSeen seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no box";
            return;
        }
        seen.text = box->text();
        seen.title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowMessageBox(nullptr, text, caption, 0x131), IDCANCEL);
    return seen;
}

void Press(QMessageBox& box, Qt::Key key)
{
    QTest::keyClick(&box, key);
}

void Click(QMessageBox& box, QMessageBox::StandardButton which)
{
    box.button(which)->click();
}

TEST(QtMessageBox, AReasonIsTheDetailedTextAndTheBoxItselfIsUnchanged)
{
    BoxSeen plain;
    BoxSeen detailed;
    EXPECT_EQ(ShowAndAct(0x30, plain, [](QMessageBox& b) { Press(b, Qt::Key_Return); }), IDOK);
    EXPECT_EQ(ShowAndAct(0x30, detailed, [](QMessageBox& b) { Press(b, Qt::Key_Return); },
                         "the block-size probe: the link to the calculator was lost"),
              IDOK);
    EXPECT_EQ(detailed.text, plain.text);
    EXPECT_EQ(detailed.title, plain.title);
    EXPECT_EQ(detailed.icon, plain.icon);
    EXPECT_EQ(detailed.buttons, plain.buttons);
    EXPECT_EQ(detailed.defaultButton, plain.defaultButton);
    EXPECT_EQ(plain.details, QString());
    EXPECT_EQ(detailed.details, QStringLiteral("the block-size probe: the link to the calculator was lost"));
}

TEST(QtMessageBox, WarningOkCancelDefaultsToCancel)
{
    BoxSeen seen;
    EXPECT_EQ(ShowAndAct(0x131, seen, [](QMessageBox& b) { Press(b, Qt::Key_Return); }), IDCANCEL);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_EQ(seen.defaultButton, QStringLiteral("Cancel"));
    EXPECT_EQ(seen.text, QStringLiteral("first\nsecond"));
    EXPECT_EQ(seen.title, QStringLiteral("Title"));

    EXPECT_EQ(ShowAndAct(0x131, seen, [](QMessageBox& b) { Press(b, Qt::Key_Escape); }), IDCANCEL);
    EXPECT_EQ(ShowAndAct(0x131, seen, [](QMessageBox& b) { b.close(); }), IDCANCEL);
    EXPECT_EQ(ShowAndAct(0x131, seen, [](QMessageBox& b) { Click(b, QMessageBox::Ok); }), IDOK);
}

TEST(QtMessageBox, ACaptionTheTitleBarWouldCutIsTheBodysFirstLineToo)
{
    const BoxSeen sure = SeenAndCancelled("Are you sure?", "Delete all data in calculator's Main Memory.");
    EXPECT_EQ(sure.title, QStringLiteral("Delete all data in calculator's Main Memory."));
    EXPECT_EQ(sure.text, QStringLiteral("Delete all data in calculator's Main Memory.\n\nAre you sure?"));

    const BoxSeen warning = SeenAndCancelled("Updating deletes all data.\r\nDo you want to continue?", "Warning");
    EXPECT_EQ(warning.text, QStringLiteral("Updating deletes all data.\nDo you want to continue?"));
}

TEST(QtMessageBox, OkOnlyBoxAnswersOkEvenToEscape)
{
    BoxSeen seen;
    EXPECT_EQ(ShowAndAct(0x30, seen, [](QMessageBox& b) { Press(b, Qt::Key_Escape); }), IDOK);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("OK")});
}

TEST(QtMessageBox, PlainOkCancelHasNoIconAndDefaultsToOk)
{
    BoxSeen seen;
    EXPECT_EQ(ShowAndAct(0x1, seen, [](QMessageBox& b) { Press(b, Qt::Key_Return); }), IDOK);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.defaultButton, QStringLiteral("OK"));
    EXPECT_EQ(ShowAndAct(0x1, seen, [](QMessageBox& b) { Press(b, Qt::Key_Escape); }), IDCANCEL);
}

TEST(GuardedDialog, RefusesEveryWayOfClosingWhileGreyed)
{
    CGuardedDialog dialog;
    dialog.show();
    dialog.SetCloseEnabled(false);
    EXPECT_FALSE(dialog.close());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());

    dialog.SetCloseEnabled(true);
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
