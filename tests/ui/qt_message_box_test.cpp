// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

#include "shell/records/last_run_trace.h"
#include "shell/session/front_end.h"
#include "shell/session/updater_app.h"
#include "sim/calculator.h"
#include "ui/qt/guarded_dialog.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/qt_history_dialog.h"
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

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Answers the window's boxes as a user who saves a problem report from the
// failure box: first where it cannot be written, then where it can; every
// other box is answered OK. Writes down each box's title, and the texts of
// the failure box and of the boxes after a save.
class ReportingUser {
public:
    ReportingUser(QString badFile, QString goodFile) : m_files{std::move(badFile), std::move(goodFile)}
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Act(); });
        m_timer.start(20);
    }
    QStringList titles;
    QString failureDetails;
    QStringList afterSave;   // the texts of the boxes that followed each save

private:
    void Act()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            titles << QStringLiteral("file dialog");
            // Typed into its name field, as a user would.
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(m_files[m_saves++]);
            static_cast<QDialog*>(dialog)->accept();   // as the Save button does
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
            titles << box->windowTitle();
            if (titles.size() > 1 && titles[titles.size() - 2] == QStringLiteral("file dialog")) {
                afterSave << box->text();
            }
            QAbstractButton* save = SaveButton(*box);
            if (save != nullptr) {
                failureDetails = box->detailedText();
            }
            (save != nullptr && m_saves < 2 ? save : box->button(QMessageBox::Ok))->click();
        }
    }
    static QAbstractButton* SaveButton(QMessageBox& box)
    {
        for (QAbstractButton* button : box.buttons()) {
            if (button->text() == QStringLiteral("Save a problem report...")) {
                return button;
            }
        }
        return nullptr;
    }
    QTimer m_timer;
    QString m_files[2];
    int m_saves = 0;
};

// The window's front end whose quit request is written down: a real one
// would end every event loop of the test program to come.
class QuitNotingFrontEnd : public CQtFrontEnd {
public:
    void PostQuitMessage(int code) override { quitCode = code; }
    int quitCode = 0;
};

TEST(QtFailureBox, SavesAProblemReportWithTheRunsRecordAndTrace)
{
    namespace fs = std::filesystem;
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    char name[] = "/tmp/zx-qt-report-XXXXXX";
    const fs::path dir = mkdtemp(name);
    ASSERT_TRUE(zsim::WriteDemoImages((dir / "img").string(), {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 70000, 3000));
    for (const char* image : {"UpdateExe.bin", "UpdateCode.bin"}) {   // finished files, not still being written
        fs::last_write_time(dir / "img" / image, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    zsim::Options calculatorOptions;
    calculatorOptions.fault = {zsim::FaultKind::HangUp, 20};   // gone in the identity stream
    zsim::PtyCalculator calculator(calculatorOptions);
    ASSERT_TRUE(calculator.Start());
    setenv("TMPDIR", dir.c_str(), 1);

    QuitNotingFrontEnd frontEnd;
    CGuardedDialog mainWindow;
    frontEnd.SetMainWindow(&mainWindow);
    mainWindow.show();
    UpdaterSettings settings;
    settings.devices.paths = {calculator.SlavePath()};
    settings.baseDir = (dir / "img").string() + "/";
    const std::string history = (dir / "state" / "history.jsonl").string();
    fs::create_directories(dir / "state");
    settings.history = {true, history, "9.9.9", nullptr, false};
    settings.writeProblemReport = [&history](const std::string& file, Message& problem) {
        return WriteProblemReport(file, {"9.9.9", PlatformDescription(), "(devices)\n", history,
                                         LastRunTracePath(history)}, problem);
    };
    CUpdaterApp app(&frontEnd, std::move(settings));
    const fs::path report = dir / "report.txt";
    // The first file chosen is in a folder that is not there: the save says why.
    ReportingUser user(QString::fromStdString((dir / "no-folder" / "report.txt").string()),
                       QString::fromStdString(report.string()));
    app.RunUpdateLoop();
    unsetenv("TMPDIR");

    // The failure box comes back after each save, the save's outcome said in between.
    EXPECT_EQ(user.titles.join(QLatin1Char('|')).toStdString(),
              "Connect the calculator.|Warning|Delete all data in calculator's Main Memory.|Error|file dialog|"
              "Error|Error|file dialog|Problem report|Error");
    ASSERT_EQ(user.afterSave.size(), 2);
    EXPECT_TRUE(user.afterSave[0].contains(QStringLiteral("cannot write the problem report"))) << user.afterSave[0].toStdString();
    EXPECT_TRUE(user.afterSave[1].contains(QString::fromStdString(report.string()))) << user.afterSave[1].toStdString();
    EXPECT_FALSE(user.failureDetails.isEmpty());

    // The report holds the run's record, as the history kept it, and the
    // run's trace whole, ending as the run ended.
    const std::string text = FileText(report);
    const std::string trace = FileText(LastRunTracePath(history));
    ASSERT_FALSE(trace.empty());
    EXPECT_NE(text.find("program: zentrix-update 9.9.9\n"), std::string::npos) << text;
    // The history holds this one run.
    EXPECT_NE(text.find("[last run's record]\n" + FileText(history)), std::string::npos) << text;
    EXPECT_NE(text.find("\"failed\""), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(trace)) << text;
    EXPECT_EQ(frontEnd.quitCode, kQuitCode);
    fs::remove_all(dir);
}

// The folder chooser refuses a folder without usable images with a box that
// says why, stays open, and takes the next folder that has them.
TEST(QtImageFolder, AFolderWithoutUsableImagesIsRefusedAndTheChooserStaysOpen)
{
    namespace fs = std::filesystem;
    char name[] = "/tmp/zx-qt-folder-XXXXXX";
    const fs::path dir = mkdtemp(name);
    fs::create_directories(dir / "empty");
    fs::create_directories(dir / "images");
    QuitNotingFrontEnd frontEnd;
    QStringList refusals;
    int accepts = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();

        if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
            refusals << box->text();
            const char* shot = std::getenv("ZENTRIX_FOLDER_SCREENSHOT");
            if (shot != nullptr && refusals.size() == 1) {
                box->window()->grab().save(QString::fromLocal8Bit(shot));
            }
            box->button(QMessageBox::Ok)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog != nullptr && dialog->isVisible()) {
            if (accepts == 4) {
                dialog->reject();   // refused over and over: the test fails, never hangs
                return;
            }
            // Its question is read inside it too (no title bar without a
            // window manager).
            bool asked = false;
            for (const QLabel* label : dialog->findChildren<QLabel*>()) {
                asked = asked || label->text() == dialog->windowTitle();
            }
            EXPECT_TRUE(asked) << dialog->windowTitle().toStdString();
            // The user opens the empty folder first, then the one with the
            // images, and chooses it.
            const fs::path folder = dir / (accepts == 0 ? "empty" : "images");
            dialog->setDirectory(QString::fromStdString(folder.string()));
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
            ++accepts;
            // As the Choose button does, once this tick has returned: the
            // refusal's box runs a loop of its own, in which this timer
            // must tick again.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    });
    user.start(20);
    std::string folder = (dir / "empty").string();
    QStringList checked;
    const bool chosen = frontEnd.ChooseImageFolder(folder, [&](const std::string& candidate) {
        checked << QString::fromStdString(candidate);
        return fs::path(candidate) == dir / "images" ? Message() : Message::Raw("image missing: UpdateExe.bin");
    });
    user.stop();
    EXPECT_TRUE(chosen);
    EXPECT_EQ(fs::path(folder), dir / "images");
    EXPECT_EQ(accepts, 2) << checked.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(refusals[0].contains(QStringLiteral("image missing: UpdateExe.bin"))) << refusals[0].toStdString();
    fs::remove_all(dir);
}

// The end of a run offers the history: "History..." opens the history
// window over the box, and the box comes back for its answer.
TEST(QtEndBox, HistoryOpensTheHistoryWindowAndTheBoxComesBack)
{
    QuitNotingFrontEnd frontEnd;
    QStringList seen;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
            seen << box->windowTitle();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == QStringLiteral("History...") && seen.size() == 1) {
                    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
                    return;
                }
            }
            QMetaObject::invokeMethod(box->button(QMessageBox::Ok), "click", Qt::QueuedConnection);
        } else if (auto* history = dynamic_cast<CHistoryDialog*>(modal); history != nullptr && history->isVisible()) {
            seen << QStringLiteral("history");
            QMetaObject::invokeMethod(history, "reject", Qt::QueuedConnection);
        }
    });
    user.start(20);
    const int answer = frontEnd.EndBox(Message::Raw("Update is complete."), Message::Raw("Complete"), 0x1);
    user.stop();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seen.join(QLatin1Char('|')).toStdString(), "Complete|history|Complete");
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
