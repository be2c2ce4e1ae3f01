// SPDX-License-Identifier: GPL-3.0-or-later
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <utility>

#include "shell/screen/device_name.h"
#include "shell/screen/progress_window.h"
#include "tests/update/update_scenario.h"
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

TEST_F(ProgressWindow, HasTheFormsLayoutTitleBoldCaptionAndPercentage)
{
    Open("Checking the calculator version...", 256);
    QDialog* window = WindowOf(slot);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Sending data..."));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    auto* text = window->findChild<QLabel*>(QStringLiteral("phaseText"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), QStringLiteral("Checking the calculator version..."));
    EXPECT_TRUE(text->font().bold());
    EXPECT_EQ(text->font().pixelSize(), MulDiv(14, window->logicalDpiY(), 72));
    EXPECT_TRUE(text->alignment() & Qt::AlignHCenter);

    QFont formFont = window->font();
    formFont.setPointSize(9);
    const DialogBaseUnits units = BaseUnitsOf(formFont);
    // Without a notice the window ends where the notice would begin.
    EXPECT_EQ(window->size(), DialogUnitsToPixels(QSize(187, 86), units));
    EXPECT_EQ(BarOf(slot)->geometry(), DialogUnitsToPixels(QRect(7, 40, 173, 14), units));
    EXPECT_EQ(text->geometry(), DialogUnitsToPixels(QRect(7, 7, 173, 29), units));
    EXPECT_FALSE(window->findChild<QPushButton*>(QStringLiteral("stopButton"))->isVisible());

    EXPECT_TRUE(BarOf(slot)->isTextVisible());
    slot->m_progress.SendMessage(PBM_SETPOS, 64, 0);
    EXPECT_EQ(BarOf(slot)->text(), QStringLiteral("25%"));
}

TEST_F(ProgressWindow, CannotBeClosedByTheUserWhileTheCalculatorAnswers)
{
    Open("Updating...", 10);
    QDialog* window = WindowOf(slot);
    EXPECT_FALSE(window->close());
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(slot->TakeStopRequest());
}

TEST(ProgressWindowBelowTheBar, NamesTheCalculatorAndTheTimeLeftAndTheBarSaysBoth)
{
    uint64_t now = 5000;
    CProgressWindows windows{[] { return std::make_unique<CQtProgressDlg>(nullptr, ScreenRect{0, 0, 800, 600}); },
                             [&now] { return now; }};
    windows.SetDevice(FriendlyDeviceName("usb:1:2", UsbLocation{"12AB", "1-2", "1a2b:5e01", ""}));
    windows.Open("Sending the OS...", 100);
    QDialog* window = WindowOf(windows.Window());
    auto* device = window->findChild<QLabel*>(QStringLiteral("deviceText"));
    auto* timeLeft = window->findChild<QLabel*>(QStringLiteral("timeLeftText"));
    EXPECT_EQ(device->text(), QStringLiteral("USB port 1-2, serial 12AB"));
    EXPECT_EQ(timeLeft->text(), QString());
    EXPECT_EQ(BarOf(windows.Window())->accessibleName(),
              QStringLiteral("Calculator USB port 1-2, serial 12AB: Sending the OS..."));

    now += 500;
    windows.SetPos(10);
    EXPECT_EQ(timeLeft->text(), QString());   // half a second says nothing yet
    now += 1500;
    windows.SetPos(10);
    EXPECT_EQ(timeLeft->text(), QStringLiteral("About 18 s left"));   // 2 s for 10 of 100
    now += 20000;
    windows.SetPos(20);
    EXPECT_EQ(timeLeft->text(), QStringLiteral("About 1 min 28 s left"));   // 22 s for 20 of 100
    EXPECT_EQ(BarOf(windows.Window())->text(), QStringLiteral("20%"));

    windows.Open("Checking...", 4);   // a new phase starts its own estimate
    EXPECT_EQ(WindowOf(windows.Window())->findChild<QLabel*>(QStringLiteral("timeLeftText"))->text(), QString());
    EXPECT_EQ(WindowOf(windows.Window())->findChild<QLabel*>(QStringLiteral("deviceText"))->text(),
              QStringLiteral("USB port 1-2, serial 12AB"));
}

TEST(QtFrontEndStall, TheNoticeSaysHowLongAndStopOrCloseEndsTheRun)
{
    CQtFrontEnd frontEnd;
    CGuardedDialog mainWindow;
    mainWindow.setGeometry(40, 30, 500, 400);
    frontEnd.SetMainWindow(&mainWindow);
    frontEnd.OpenProgress("Sending the OS...", 10);
    QDialog* window = WindowOf(frontEnd.ProgressWindow());
    auto* notice = window->findChild<QLabel*>(QStringLiteral("noticeText"));
    auto* stop = window->findChild<QPushButton*>(QStringLiteral("stopButton"));
    const int compact = window->height();

    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{3000, false}));
    EXPECT_FALSE(notice->isVisible());
    EXPECT_FALSE(window->close());               // refused and forgotten while it answers
    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{3100, false}));

    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{19400, true}));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(stop->isVisible());
    EXPECT_EQ(stop->text(), QStringLiteral("Stop"));
    EXPECT_EQ(notice->text(), QStringLiteral("The calculator has not answered for 19 s.\nCheck the cable and that the "
                                             "calculator is in receive mode, or press Stop to end the update."));
    EXPECT_GE(window->height(), stop->geometry().bottom());
    EXPECT_GT(window->height(), compact);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Sending data..."));   // the title is not cut for it
    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{20100, true}));
    EXPECT_TRUE(notice->text().contains(QStringLiteral("for 20 s.")));
    // A longer notice (a language's) is shown whole, the Stop button below it.
    frontEnd.ProgressWindow()->ShowNotice(Message::Raw(
        "The calculator has not answered for 20 s.\r\nCheck the cable and that the calculator is in receive mode, "
        "or press Stop to end the update. Check the cable and that the calculator is in receive mode, or press "
        "Stop to end the update. Check the cable and that the calculator is in receive mode."));
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    EXPECT_GT(stop->geometry().top(), notice->geometry().bottom());
    EXPECT_GT(window->height(), stop->geometry().bottom());

    stop->click();
    EXPECT_FALSE(frontEnd.KeepWaiting(ReplyWait{20200, true}));
    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{20300, true}));   // asked once, taken once
    window->close();
    EXPECT_FALSE(frontEnd.KeepWaiting(ReplyWait{20400, true}));

    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{100, false}));   // it answered again
    EXPECT_FALSE(notice->isVisible());
    EXPECT_FALSE(stop->isVisible());
    EXPECT_EQ(window->height(), compact);
    frontEnd.CloseProgress();
}

// Whole runs in the desktop window against a calculator that stops
// answering or stops taking data: Stop on the notice ends the run within a
// second (the device's own settling pause included), and the calculator that
// still reads is sent PKT_TERMINATE_04.
class QtStalledRun : public UpdateScenario {
protected:
    void SetUp() override
    {
        mainWindow.setGeometry(40, 30, 500, 400);
        frontEnd.SetMainWindow(&mainWindow);
        // What the toolkit opens once, for its first windows, is not the run's.
        frontEnd.OpenProgress("Sending data...", 1);
        frontEnd.KeepWaiting(ReplyWait{0, false});
        frontEnd.CloseProgress();
        UpdateScenario::SetUp();
    }

    CQtFrontEnd frontEnd;
    CGuardedDialog mainWindow;
};

TEST_F(QtStalledRun, StopOnTheNoticeEndsTheRunWithinASecondAndTheCalculatorIsTold)
{
    struct Case {
        zsim::FaultKind fault;
        int after;   // packets of the updater
        const char* reason;
        const char* phase;   // shown when Stop was clicked
    };
    const Case cases[] = {
        {zsim::FaultKind::GoSilent, 300, "stopped while the calculator had not answered for", "Updating..."},
        {zsim::FaultKind::Stall, 300, "stopped after the calculator had taken no data for", "Updating..."},
        // Never answering: waited for in a window of its own from the start.
        {zsim::FaultKind::GoSilent, 0, "the connection check: stopped while", "Connecting to the calculator..."},
    };
    CSystemDeviceSource devices;   // with the pause a real device takes to settle
    m_inputs.devices = &devices;
    m_inputs.port = &frontEnd;
    m_inputs.wait.userMayEndAfterMs = 1500;
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> stopped;
    QString phase;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        CProgressDlg* progress = frontEnd.ProgressWindow();
        auto* stop = progress != nullptr ? WindowOf(progress)->findChild<QPushButton*>(QStringLiteral("stopButton"))
                                         : nullptr;
        if (!stopped && stop != nullptr && stop->isVisible()) {
            stopped = Clock::now();
            phase = WindowOf(progress)->findChild<QLabel*>(QStringLiteral("phaseText"))->text();
            stop->click();
        }
    });
    watch.start(20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        stopped.reset();
        zsim::Options options;
        options.fault = {c.fault, c.after};
        zsim::PtyCalculator calculator(options);
        ASSERT_TRUE(calculator.Start());
        DeviceChoice choice;
        choice.paths = {calculator.SlavePath()};
        devices.SetChoice(std::move(choice));
        EXPECT_EQ(RunOnce(), Failed);
        const Clock::time_point ended = Clock::now();
        ASSERT_TRUE(stopped.has_value()) << m_reason;
        EXPECT_LT(ended - *stopped, std::chrono::seconds(10));   // a hang guard: the reason says the Stop ended it
        EXPECT_NE(m_reason.find(c.reason), std::string::npos) << m_reason;
        EXPECT_EQ(phase.toStdString(), c.phase);
        frontEnd.RunEnded(HistoryRecord{});   // as the update loop does
        EXPECT_EQ(frontEnd.ProgressWindow(), nullptr) << "a window left after the run";
        calculator.Stop();
        if (c.after > 0) {
            ASSERT_EQ(calculator.Runs().size(), 1u);
        }
        if (c.fault == zsim::FaultKind::GoSilent && c.after > 0) {
            EXPECT_EQ(calculator.Runs().front().ending, zsim::RunRecord::Ending::Terminate04);
        }
    }
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
