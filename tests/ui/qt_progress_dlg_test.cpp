// SPDX-License-Identifier: GPL-3.0-or-later
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <gtest/gtest.h>

#include "shell/progress_window.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/qt_progress_dlg.h"

namespace {


QDialog* WindowOf(CProgressDlg* slot)
{
    return static_cast<CQtProgressDlg*>(slot)->Window();
}

QProgressBar* BarOf(CProgressDlg* slot)
{
    return WindowOf(slot)->findChild<QProgressBar*>(QStringLiteral("bar"));
}

// Desktop progress windows centred on a main-window rectangle given by the test.
class ProgressWindow : public ::testing::Test {
protected:
    void Open(const char* phaseText, int stepCount)
    {
        windows.Open(phaseText, stepCount);
        slot = windows.Window();
    }
    ScreenRect rect{100, 50, 901, 651};
    CProgressWindows windows{[this] { return std::make_unique<CQtProgressDlg>(nullptr, rect); }};
    CProgressDlg* slot = nullptr;
};

TEST_F(ProgressWindow, IsCentredOnTheMainWindowEvenPartlyOffScreen)
{
    Open("Updating...", 10);
    QDialog* window = WindowOf(slot);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame.left(), 100 + 801 / 2 - frame.width() / 2);
    EXPECT_EQ(frame.top(), 50 + 601 / 2 - frame.height() / 2);

    rect = ScreenRect{-700, -300, -100, 101};
    Open("Updating...", 10);
    const QRect off = WindowOf(slot)->frameGeometry();
    EXPECT_EQ(off.left(), -700 + 300 - off.width() / 2);
    EXPECT_EQ(off.top(), -300 + 200 - off.height() / 2);   // (401 / 2) truncates to 200
}

TEST_F(ProgressWindow, HasTheFormsLayoutTitleAndBoldCaptionAndNoCloseButton)
{
    Open("Checking the calculator version...", 256);
    QDialog* window = WindowOf(slot);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Sending data..."));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowSystemMenuHint);

    auto* text = window->findChild<QLabel*>(QStringLiteral("phaseText"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), QStringLiteral("Checking the calculator version..."));
    EXPECT_TRUE(text->font().bold());
    EXPECT_EQ(text->font().pixelSize(), MulDiv(14, window->logicalDpiY(), 72));
    EXPECT_TRUE(text->alignment() & Qt::AlignHCenter);

    QFont formFont = window->font();
    formFont.setPointSize(9);
    const DialogBaseUnits units = BaseUnitsOf(formFont);
    EXPECT_EQ(window->size(), DialogUnitsToPixels(QSize(187, 85), units));
    EXPECT_EQ(BarOf(slot)->geometry(), DialogUnitsToPixels(QRect(7, 50, 173, 16), units));
    EXPECT_EQ(text->geometry(), DialogUnitsToPixels(QRect(7, 7, 173, 29), units));
}

TEST_F(ProgressWindow, CannotBeClosedByTheUser)
{
    Open("Updating...", 10);
    QDialog* window = WindowOf(slot);
    EXPECT_FALSE(window->close());
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(ProgressWindow, BarFollowsRangeStepsWrapAndReset)
{
    Open("Updating...", 65536 + 5);
    QProgressBar* bar = BarOf(slot);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 5);
    EXPECT_EQ(bar->value(), 0);
    for (int i = 0; i < 5; ++i) {
        slot->m_progress.SendMessage(PBM_STEPIT, 0, 0);
    }
    EXPECT_EQ(bar->value(), 5);
    slot->m_progress.SendMessage(PBM_STEPIT, 0, 0);   // past the top: starts over
    EXPECT_EQ(bar->value(), 0);
    slot->m_progress.SendMessage(PBM_STEPIT, 0, 0);
    slot->m_progress.SendMessage(PBM_STEPIT, 0, 0);
    slot->m_progress.SendMessage(PBM_SETPOS, 0, 0);
    EXPECT_EQ(bar->value(), 0);
    slot->m_progress.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, 300));
    slot->m_progress.SendMessage(PBM_STEPIT, 0, 0);
    EXPECT_EQ(bar->maximum(), 300);
    EXPECT_EQ(bar->value(), 1);
}

TEST_F(ProgressWindow, AnEmptyRangeShowsAnEmptyBarNotABusyOne)
{
    Open("Sending data...", 0);
    QProgressBar* bar = BarOf(slot);
    EXPECT_EQ(slot->m_progress.Upper(), 0);
    EXPECT_LT(bar->minimum(), bar->maximum());
    EXPECT_EQ(bar->value(), bar->minimum());
}

TEST_F(ProgressWindow, ReopeningDestroysTheOldWindowFirstAndClosingEmptiesTheSlot)
{
    Open("Sending data...", 3);
    QPointer<QDialog> first = WindowOf(slot);
    Open("Updating...", 3);
    EXPECT_TRUE(first.isNull());
    QPointer<QDialog> second = WindowOf(slot);
    windows.Close();
    EXPECT_EQ(windows.Window(), nullptr);
    EXPECT_TRUE(second.isNull());
    windows.Close();
}

TEST(QtFrontEnd, ProgressWindowsBelongToTheMainWindowWhichOwnsTheCloseCommand)
{
    CQtFrontEnd frontEnd;
    EXPECT_FALSE(frontEnd.SetCloseEnabled(false));   // no main window, no Close command

    CGuardedDialog mainWindow;
    mainWindow.setGeometry(40, 30, 500, 400);
    frontEnd.SetMainWindow(&mainWindow);
    EXPECT_TRUE(frontEnd.SetCloseEnabled(false));
    EXPECT_FALSE(mainWindow.IsCloseEnabled());
    frontEnd.OpenProgress("Updating...", 1);
    QDialog* window = WindowOf(frontEnd.ProgressWindow());
    EXPECT_EQ(window->parentWidget(), &mainWindow);
    EXPECT_TRUE(window->isWindow());
    const QRect main = mainWindow.frameGeometry();
    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame.left(), main.left() + main.width() / 2 - frame.width() / 2);
    EXPECT_EQ(frame.top(), main.top() + main.height() / 2 - frame.height() / 2);
    frontEnd.CloseProgress();
    EXPECT_EQ(frontEnd.ProgressWindow(), nullptr);
}

TEST(DialogUnits, RoundLikeTheLaunchersPlatform)
{
    EXPECT_EQ(MulDiv(515, 6, 4), 773);   // 772.5 rounds up
    EXPECT_EQ(MulDiv(362, 13, 8), 588);
    EXPECT_EQ(MulDiv(14, -96, 72), -19);
    EXPECT_EQ(MulDiv(14, 120, 72), 23);
    EXPECT_EQ(DialogUnitsToPixels(QSize(515, 362), DialogBaseUnits{6, 13}), QSize(773, 588));
}

}  // namespace
