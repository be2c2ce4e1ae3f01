// SPDX-License-Identifier: GPL-3.0-or-later
// The window of many calculators, off screen: eight rows driven through
// their ports as eight runs would, mid-update and at the summary (both
// grabbed to PNG files for the record), the question about the next set
// beside the rows, the history window, and Close asking to stop; whole sets
// against simulated calculators, one of them silent, stopped by its row's
// Stop or by closing the window.
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <regex>

#include <fstream>
#include <memory>
#include <vector>

#include "shell/reports/history_report.h"
#include "shell/reports/history_table.h"
#include "shell/session/classroom.h"
#include "shell/session/front_end.h"
#include "tests/update/update_scenario.h"
#include "ui/qt/qt_classroom_view.h"
#include "ui/qt/qt_history_dialog.h"
#include "ui/qt/qt_message_box.h"

namespace {

struct Calculator {
    const char* device;
    const char* phase;
    int steps;
    int done;
    UpdateOutcome outcome;
};

const std::vector<Calculator> kSet = {
    {"usb:1:4", "Updating...", 69, 52, {Success, {}}},
    {"usb:1:5", "Updating...", 69, 31, {Success, {}}},
    {"usb:1:6", "Updating...", 69, 12, {Success, {}}},
    {"usb:1:7", "Checking the calculator version...", 256, 200,
     {AlreadyCurrent, Message::Raw("the version check: the calculator runs OS 02.00, already at or above the image's 01.05")}},
    {"usb:1:8", "Checking the calculator version...", 256, 90,
     {UnsupportedModel, Message::Raw("the calculator's identity: the calculator's model code 12345678 is not one this program supports")}},
    {"usb:2:3", "Updating...", 69, 33,
     {Failed, Message::Raw("the OS image, block 34 of 69: the link to the calculator was lost (Broken pipe)")}},
    {"/dev/ttyUSB0", "Checking the calculator version...", 256, 100,
     {Failed, Message::Raw("the calculator's identity: the calculator did not answer for 20 s")}},
    {"/dev/ttyUSB1", "Sending the updater...", 3, 2, {Success, {}}},
};

// The rows' Next buttons (the window's other button is History...).
QList<QPushButton*> NextButtons(QDialog* window)
{
    QList<QPushButton*> next;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text().remove(QLatin1Char('&')) == QStringLiteral("Next")) {
            next.push_back(button);
        }
    }
    return next;
}

void Save(QWidget* window, const char* name)
{
    QDir().mkpath(QStringLiteral(ZENTRIX_SCREENSHOT_DIR));
    const QString path = QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/") + QString::fromUtf8(name);
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
}

TEST(ClassroomWindow, EightRowsShowTheirPhaseAndBarThenTheirResultAndTheSummary)
{
    std::vector<std::unique_ptr<CRowPort>> ports;
    for (const Calculator& c : kSet) {
        ports.push_back(std::make_unique<CRowPort>(c.device));
        ports.back()->OpenProgress(c.phase, c.steps);
        for (int i = 0; i < c.done; ++i) {
            ports.back()->StepProgress();
        }
    }
    ports[6]->KeepWaiting({20000, true});
    auto rows = [&] {
        std::vector<ClassroomRow> r;
        for (const auto& p : ports) {
            r.push_back(p->Row());
        }
        return r;
    };
    CQtClassroomView view;
    view.ShowRows(rows(), Message::Raw("Updating 8 calculators at once"));
    QDialog* window = view.Window();
    ASSERT_NE(window, nullptr);
    QApplication::processEvents();
    Save(window, "classroom-mid-update.png");
    const QRect screen = window->screen()->availableGeometry();

    QList<QProgressBar*> bars = window->findChildren<QProgressBar*>();
    ASSERT_EQ(bars.size(), 8);
    for (size_t i = 0; i < kSet.size(); ++i) {
        EXPECT_EQ(bars[static_cast<int>(i)]->maximum(), kSet[i].steps);
        EXPECT_EQ(bars[static_cast<int>(i)]->value(), kSet[i].done);
    }
    auto labelsWith = [&](const QString& text) {
        int n = 0;
        for (QLabel* label : window->findChildren<QLabel*>()) {
            n += label->text().contains(text) ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(labelsWith(QStringLiteral("Updating...")), 4);
    EXPECT_EQ(labelsWith(QStringLiteral("not answering")), 1);

    CClassroom::Inputs none;
    std::vector<Message> summary;
    for (size_t i = 0; i < kSet.size(); ++i) {
        ports[i]->Finish(kSet[i].outcome);
        const ClassroomRow row = ports[i]->Row();
        summary.push_back(Message("%s %s %s", {row.resultWord, row.device, row.reason}));
    }
    view.ShowRows(rows(), Message::Raw("Updating 8 calculators at once"));
    view.ShowSummary(summary, CountsOf(rows()));
    QApplication::processEvents();
    Save(window, "classroom-summary.png");
    EXPECT_EQ(window->findChildren<QProgressBar*>().size(), 8);
    EXPECT_EQ(labelsWith(QStringLiteral(">updated<")), 4);
    EXPECT_EQ(labelsWith(QStringLiteral(">failed<")), 2);
    // Each row keeps its result; no list of summary lines repeats them.
    EXPECT_EQ(labelsWith(QStringLiteral("failed usb:2:3 the OS image, block 34 of 69")), 0);
    // A finished row shows no phase any more; an update's bar is full, the
    // others have none.
    EXPECT_EQ(labelsWith(QStringLiteral("Updating...")), 0);
    EXPECT_EQ(labelsWith(QStringLiteral("Checking")), 0);
    EXPECT_EQ(labelsWith(QStringLiteral("not answering")), 0);
    for (size_t i = 0; i < kSet.size(); ++i) {
        const QProgressBar* bar = window->findChildren<QProgressBar*>()[static_cast<int>(i)];
        EXPECT_EQ(bar->isVisible(), kSet[i].outcome.result == Success) << kSet[i].device;
        EXPECT_TRUE(!bar->isVisible() || bar->value() == bar->maximum()) << kSet[i].device;
    }
    // Every reason is there whole: wrapped to the label's width, not cut,
    // and in its tooltip; the window fits the screen.
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().contains(QStringLiteral(": the"))) {
            EXPECT_TRUE(label->wordWrap());
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
            EXPECT_TRUE(!label->text().startsWith(QStringLiteral("<b ")) ||label->toolTip().contains(QStringLiteral("already at or above")) ||
                        label->toolTip().contains(QStringLiteral("12345678 is not one this program supports")) ||
                        label->toolTip().contains(QStringLiteral("(Broken pipe)")) ||
                        label->toolTip().contains(QStringLiteral("did not answer for 20 s")))
                << label->toolTip().toStdString();
        }
    }
    EXPECT_LE(window->frameGeometry().width(), screen.width());
    EXPECT_LE(window->frameGeometry().height(), screen.height());
    EXPECT_GE(window->width(), 720);
    // The heading says what happened, once.
    EXPECT_EQ(labelsWith(QStringLiteral("8 calculators: 4 updated, 1 already current, 1 not supported, 2 failed.")), 1);
    EXPECT_EQ(labelsWith(QStringLiteral("Updating 8 calculators at once")), 0);
    // The heading says the counts it is given (ports with nothing connected
    // are not rows).
    view.ShowSummary(summary, CountsOf(rows(), 2));
    EXPECT_EQ(labelsWith(QStringLiteral("2 failed. 2 configured ports had nothing connected.")), 1);
    view.ShowSummary(summary, CountsOf(rows()));
    // At 1280 by 800 (or more) the eight rows fit without scrolling.
    if (screen.height() >= 800 - 40) {
        EXPECT_EQ(window->findChild<QScrollArea*>()->verticalScrollBar()->maximum(), 0);
    }

    // The question about the next set is asked in the window, below the rows.
    QRect questionPlace;
    QTimer::singleShot(100, [&] {
        QWidget* question = window->findChild<QWidget*>(QStringLiteral("question"));
        if (question != nullptr && question->isVisible()) {
            questionPlace = QRect(question->mapTo(window, QPoint(0, 0)), question->size());
            window->findChild<QPushButton*>(QStringLiteral("questionCancel"))->click();
        }
    });
    EXPECT_EQ(view.Ask("Do you want to update another set?"), IDCANCEL);
    ASSERT_FALSE(questionPlace.isEmpty());
    EXPECT_TRUE(window->rect().contains(questionPlace));
    const QWidget* scroll = window->findChild<QScrollArea*>();
    EXPECT_GE(questionPlace.top(), scroll->mapTo(window, QPoint(0, scroll->height())).y());
    EXPECT_FALSE(window->findChild<QWidget*>(QStringLiteral("question"))->isVisible());
    QTimer::singleShot(100, [&] { QTest::keyClick(window, Qt::Key_Escape); });
    EXPECT_EQ(view.Ask("Do you want to update another set?"), IDCANCEL);   // Escape: Cancel
    QTimer::singleShot(100, [&] { window->findChild<QPushButton*>(QStringLiteral("questionOk"))->click(); });
    EXPECT_EQ(view.Ask("Do you want to update another set?"), IDOK);
    // With failures a third button says how many, and is offered only then.
    QString retryText;
    QTimer::singleShot(100, [&] {
        auto* retry = window->findChild<QPushButton*>(QStringLiteral("questionRetry"));
        retryText = retry->isVisible() ? retry->text() : QString();
        retry->click();
    });
    EXPECT_EQ(view.Ask("Do you want to update another set?", Message::Raw("Update the 2 that failed again")), IDRETRY);
    EXPECT_EQ(retryText, QStringLiteral("Update the 2 that failed again"));
    QTimer::singleShot(100, [&] {
        retryText = window->findChild<QPushButton*>(QStringLiteral("questionRetry"))->isVisible() ? "shown" : "";
        window->findChild<QPushButton*>(QStringLiteral("questionOk"))->click();
    });
    EXPECT_EQ(view.Ask("Do you want to update another set?"), IDOK);
    EXPECT_TRUE(retryText.isEmpty()) << "no failures: no third button";

    // The question about the next set stays clear of the rows.
    QRect boxFrame;
    QTimer::singleShot(200, [&boxFrame] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxFrame = box->frameGeometry();
            box->button(QMessageBox::Cancel)->click();
        }
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "8 calculators\r\nDo you want to update another set?", "Complete", MB_OKCANCEL,
                             {}, window),
              IDCANCEL);
    ASSERT_FALSE(boxFrame.isEmpty());
    EXPECT_FALSE(boxFrame.intersects(window->frameGeometry()));
    EXPECT_TRUE(screen.contains(boxFrame));

    // A finished row on a port that stays offers the next calculator there:
    // its Next button asks for that row's port only.
    EXPECT_EQ(NextButtons(window).size(), 8);
    for (QPushButton* next : NextButtons(window)) {
        EXPECT_FALSE(next->isVisible());
    }
    ports[7]->OfferNext(true);
    view.ShowRows(rows(), Message::Raw("Station"));
    QPushButton* next = NextButtons(window)[7];
    ASSERT_TRUE(next->isVisible());
    EXPECT_FALSE(NextButtons(window)[6]->isVisible());
    next->click();
    EXPECT_EQ(view.Serve(1), ClassroomRequest::Next);
    EXPECT_EQ(view.NextDevice(), "/dev/ttyUSB1");

    // Closing the window, or Escape, does not close it: it asks the loop
    // (which asks the user).
    EXPECT_EQ(view.Serve(1), ClassroomRequest::None);
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(view.Serve(1), ClassroomRequest::Close);
    EXPECT_EQ(view.Serve(1), ClassroomRequest::None);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(view.Serve(1), ClassroomRequest::Close);
    view.CloseRows();
    EXPECT_EQ(view.Window(), nullptr);
}

// The station: its long heading keeps both its lines at 800 pixels, the
// rows take the rest of the window, and Escape asks the loop (which asks
// the user) rather than closing.
TEST(ClassroomWindow, TheStationsHeadingFitsAndItsRowsUseTheWindow)
{
    std::vector<std::unique_ptr<CRowPort>> ports;
    for (const char* device : {"/dev/ttyUSB0", "/dev/ttyUSB1", "usb:1:9"}) {
        ports.push_back(std::make_unique<CRowPort>(device));
        ports.back()->OpenProgress("Updating...", 69);
        ports.back()->SetProgressPos(20);
    }
    ports[1]->Finish({Success, {}});
    ports[2]->DeviceTaken("usb:1:9", UsbLocation{"12AB34", "1-2", "1a2b:5e01", ""});
    std::vector<ClassroomRow> rows;
    for (const auto& p : ports) {
        rows.push_back(p->Row());
    }
    const Message heading = Message::Raw("Station: every calculator connected is updated at once; Close or Ctrl+C ends the "
                                "station (1 updated, 0 current, 0 failed so far)");
    CQtClassroomView view;
    view.ShowRows(rows, heading);
    QDialog* window = view.Window();
    window->resize(800, window->height());
    view.ShowRows(rows, heading);
    QApplication::processEvents();
    Save(window, "classroom-station.png");

    QLabel* title = nullptr;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().startsWith(QStringLiteral("Station:"))) {
            title = label;
        }
    }
    ASSERT_NE(title, nullptr);
    const int lines = title->height() / title->fontMetrics().lineSpacing();
    EXPECT_GE(title->height(), title->heightForWidth(title->width()));   // nothing cut
    EXPECT_GE(lines, 1);
    EXPECT_LE(lines, 2);
    // A note under the heading (what Enter does) is in the normal weight
    // below it; the heading itself keeps its lines.
    view.ShowRows(rows, Message("%s\n%s", {heading, Message::Raw("Press Enter to update the next calculator")}));
    QApplication::processEvents();
    EXPECT_LE(title->height() / title->fontMetrics().lineSpacing(), 2);
    const auto labels = window->findChildren<QLabel*>();
    const auto note = std::find_if(labels.begin(), labels.end(), [](QLabel* label) {
        return label->text() == QStringLiteral("Press Enter to update the next calculator");
    });
    ASSERT_NE(note, labels.end());
    EXPECT_TRUE((*note)->isVisible());
    EXPECT_FALSE((*note)->font().bold());
    EXPECT_GE((*note)->height(), (*note)->heightForWidth((*note)->width()));   // nothing cut
    auto* scroll = window->findChild<QScrollArea*>();
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);   // the three rows whole
    EXPECT_GE(scroll->viewport()->height(), scroll->widget()->sizeHint().height());

    // A USB calculator is named by its port and serial number, its path in
    // the tooltip; every bar says which calculator and which phase.
    QLabel* usb = nullptr;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        usb = label->text() == QStringLiteral("USB port 1-2, serial 12AB34") ? label : usb;
    }
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(usb->toolTip(), QStringLiteral("usb:1:9"));
    const QList<QProgressBar*> bars = window->findChildren<QProgressBar*>();
    ASSERT_EQ(bars.size(), 3);
    EXPECT_EQ(bars[0]->accessibleName(), QStringLiteral("Calculator /dev/ttyUSB0: Updating..."));
    EXPECT_EQ(bars[2]->accessibleName(), QStringLiteral("Calculator USB port 1-2, serial 12AB34: Updating..."));

    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(view.Serve(1), ClassroomRequest::Close);
}

// Runs of a set as the history keeps them, their reasons the messages the
// update run makes, one minute apart from 2026-12-07 08:00 UTC.
std::vector<HistoryRecord> HistoryOfASet()
{
    const auto step = [](const char* name, const Message& what) { return Message(N_("%s: %s"), {Message(name), what}); };
    const struct {
        const char* device;
        const char* serial;
        UpdateResult result;
        Message reason;
    } runs[] = {
        {"usb:1:4", "ZX-0041", Success, {}},
        {"usb:1:7", "ZX-0042", AlreadyCurrent,
         step(N_("the version check"), Message(N_("the calculator runs OS %s, already at or above the image's %s"),
                                               {std::string("02.00"), std::string("01.05")}))},
        {"usb:1:8", "ZX-0043", UnsupportedModel,
         step(N_("the calculator's identity"),
              Message(N_("the calculator's model code %s is not one this program supports"), {std::string("12345678")}))},
        {"usb:2:3", "ZX-0044", Failed,
         Message(N_("%s, block %d of %d: %s"),
                 {Message(N_("the OS image")), std::string("34"), std::string("69"),
                  Message(N_("the link to the calculator was lost (%s); check the cable, then start the update "
                             "again"),
                          {std::string("Broken pipe")})})},
        {"/dev/ttyUSB0", nullptr, Failed, step(N_("the calculator's identity"), Message(N_("the calculator did not answer in time")))},
    };
    std::vector<HistoryRecord> records;
    for (const auto& run : runs) {
        UpdateOutcome outcome{run.result, run.reason};
        outcome.facts.device = run.device;
        outcome.facts.usbSerial = run.serial != nullptr ? run.serial : "";
        outcome.facts.model = "ZX-84";
        outcome.facts.osBefore = run.result == AlreadyCurrent ? "02.00.0000" : "01.00.0000";
        outcome.facts.osImage = "01.05.0000";
        const auto started = std::chrono::system_clock::time_point(std::chrono::seconds(1796630400 + records.size() * 60));
        records.push_back(MakeHistoryRecord(outcome, started, started + std::chrono::seconds(50), "all", "1.0"));
    }
    return records;
}

// The window's History... button shows the runs as a table, newest first,
// sorted again at a click on a heading and filtered by result and by text,
// each reason whole on hover and under the table; it saves the runs as CSV;
// records that cannot be read are said, not fatal. In German every reason
// and mode word is German. Grabbed in English and German.
TEST(ClassroomWindow, HistoryIsATableThatSortsFiltersAndSavesAsCsv)
{
    const QString dir = QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/history-test");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    const std::string path = (dir + QStringLiteral("/history.jsonl")).toStdString();
    const std::vector<HistoryRecord> records = HistoryOfASet();
    {
        std::ofstream file(path);
        for (const HistoryRecord& record : records) {
            file << FormatHistoryLine(record) << '\n';
        }
        file << "{\"started\": \"2026-12-";   // torn by a power cut
    }
    CQtClassroomView view;
    view.SetHistoryPath(path);
    view.ShowRows({}, Message::Raw("Station"));
    QPushButton* button = view.Window()->findChild<QPushButton*>(QStringLiteral("history"));
    ASSERT_NE(button, nullptr);
    button->click();
    auto* dialog = view.Window()->findChild<CHistoryDialog*>();
    ASSERT_NE(dialog, nullptr);
    QApplication::processEvents();
    const QAbstractItemModel* runs = dialog->ShownRuns();
    const auto cell = [runs](int row, int column) { return runs->index(row, column).data().toString().toStdString(); };
    ASSERT_EQ(runs->rowCount(), 5);
    EXPECT_EQ(cell(0, 0), ShownLocalTime(*records.back()[kStarted]));   // the newest first
    EXPECT_NE(dialog->Notes().toStdString().find("history.jsonl"), std::string::npos);   // the torn line

    auto* table = dialog->findChild<QTableView*>(QStringLiteral("runs"));
    QHeaderView* header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(3) + 4, 4));
    EXPECT_EQ(cell(0, 3), "/dev/ttyUSB0");
    EXPECT_EQ(cell(4, 3), "usb:2:3");
    table->selectRow(4);
    const std::string reason = *records[3][kReason];
    EXPECT_EQ(cell(4, 9), reason);
    EXPECT_NE(runs->index(4, 9).data(Qt::ToolTipRole).toString().toStdString().find("Broken pipe); check the cable"),
              std::string::npos);
    EXPECT_NE(dialog->findChild<QPlainTextEdit*>(QStringLiteral("details"))->toPlainText().toStdString().find(reason),
              std::string::npos);
    dialog->resize(1180, 560);   // as on a desktop's screen, wider than the test's
    Save(dialog, "classroom-history.png");

    auto* result = dialog->findChild<QComboBox*>(QStringLiteral("resultFilter"));
    result->setCurrentIndex(result->findData(QStringLiteral("failed")));
    EXPECT_EQ(runs->rowCount(), 2);
    QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("textFilter")), QStringLiteral("BLOCK 34"));
    ASSERT_EQ(runs->rowCount(), 1);
    EXPECT_EQ(cell(0, 3), "usb:2:3");

    const QString csv = dir + QStringLiteral("/runs.csv");
    ASSERT_TRUE(dialog->SaveCsv(csv));
    QFile saved(csv);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), HistoryCsv(records));
    EXPECT_FALSE(dialog->SaveCsv(dir + QStringLiteral("/no-such-folder/runs.csv")));
    view.CloseRows();

    const std::optional<MoCatalogue> german = MoCatalogue::Load(ZENTRIX_LOCALE_DIR "/de/LC_MESSAGES/zentrix-update.mo");
    ASSERT_TRUE(german);
    CHistoryDialog inGerman(nullptr, path, &*german);
    inGerman.show();
    inGerman.resize(1180, 560);
    inGerman.findChild<QTableView*>(QStringLiteral("runs"))->selectRow(1);
    QApplication::processEvents();
    Save(&inGerman, "classroom-history-de.png");
    const std::regex english(R"(\b(all|the|calculator|version|check|link|block|updated|failed)\b)");
    for (int row = 0; row < inGerman.ShownRuns()->rowCount(); ++row) {
        for (int column = 0; column < inGerman.ShownRuns()->columnCount(); ++column) {
            const std::string shown = inGerman.ShownRuns()->index(row, column).data().toString().toStdString();
            EXPECT_FALSE(std::regex_search(shown, english)) << shown;
        }
    }
}

// Whole sets in the window against two simulated calculators, the second of
// which stops answering: its row shows Stop, which ends its run alone within
// a second, the calculator told; closing the window instead ends the set,
// whose end then stays with every row's result until Close, every run
// recorded. Grabbed in English and German.
class QtClassroomSet : public UpdateScenario {
protected:
    void SetUp() override
    {
        // What the toolkit opens once, for its first windows, is not the runs'.
        CQtClassroomView first;
        ClassroomRow row;
        row.silent = true;
        first.ShowRows({row}, Message::Raw("Updating"));
        QTimer::singleShot(200, [&first] {
            first.Window()->findChild<QPushButton*>(QStringLiteral("questionClose"))->click();
        });
        first.AwaitClose();
        first.CloseRows();
        UpdateScenario::SetUp();
    }
    CClassroom::Inputs SetInputs(CQtClassroomView& view, const std::string& history)
    {
        CClassroom::Inputs inputs;
        inputs.baseDir = m_inputs.baseDir;
        inputs.devices = &m_devices;
        inputs.wait = m_inputs.wait;
        inputs.wait.userMayEndAfterMs = 1500;
        inputs.runUpdate = [](const UpdateRunInputs& in) { return RunUpdate(in); };
        inputs.frontEnd = &m_ui;
        inputs.view = &view;
        inputs.history.keep = true;
        inputs.history.path = history;
        return inputs;
    }
};

QPushButton* VisibleStop(QDialog* window)
{
    for (QPushButton* button : window != nullptr ? window->findChildren<QPushButton*>(QStringLiteral("stop"))
                                                 : QList<QPushButton*>{}) {
        if (button->isVisible()) {
            return button;
        }
    }
    return nullptr;
}

// A screen reader reads each row whole from its first cell, with the
// percent as it stands; the silent row's Stop takes the focus and is read
// with its row, and Tab goes through the shown buttons in the order they
// are read. (What is announced, off screen there is no bridge to hear: the
// bus tests, tests/ui/bus, listen to it.)
TEST(ClassroomWindow, AScreenReaderReadsEachRowWholeAndTheKeyboardReachesItsButtons)
{

    ClassroomRow a;
    a.number = 1;
    a.device = "/dev/ttyUSB0";
    a.phase = Message("Sending the OS");
    a.upper = 40;
    a.taken = true;
    ClassroomRow b = a;
    b.number = 2;
    b.device = "/dev/ttyUSB1";
    CQtClassroomView view;
    view.SetNamer([](const std::string&, const CalculatorNaming&) { return Message(); });
    view.ShowRows({a, b}, Message::Raw("Updating 2 calculators at once"));
    QDialog* window = view.Window();
    ASSERT_NE(window, nullptr);
    QApplication::setActiveWindow(window);
    QApplication::processEvents();
    QLabel* first = nullptr;
    QLabel* second = nullptr;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        first = label->text() == QStringLiteral("/dev/ttyUSB0") ? label : first;
        second = label->text() == QStringLiteral("/dev/ttyUSB1") ? label : second;
    }
    ASSERT_TRUE(first != nullptr && second != nullptr);
    const auto spoken = [](QLabel* label) {
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(label);
        return read != nullptr ? read->text(QAccessible::Name).toStdString() : std::string("(none)");
    };
    EXPECT_EQ(spoken(first), "Calculator /dev/ttyUSB0: Sending the OS, 0 percent");

    // Every step of the bar is read as it stands.
    for (int step = 1; step <= 30; ++step) {
        a.pos = b.pos = step;
        view.ShowRows({a, b}, Message::Raw("Updating 2 calculators at once"));
    }
    EXPECT_EQ(spoken(first), "Calculator /dev/ttyUSB0: Sending the OS, 75 percent");

    // The second row goes silent: its Stop has the focus.
    b.silent = true;
    for (uint32_t ms = 10000; ms <= 14000; ms += 1000) {
        b.silentMs = ms;
        view.ShowRows({a, b}, Message::Raw("Updating 2 calculators at once"));
    }
    EXPECT_EQ(spoken(second), "Calculator /dev/ttyUSB1: Sending the OS - not answering for 14 s");
    QPushButton* stop = VisibleStop(window);
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(window->focusWidget(), stop);
    EXPECT_NE(stop->accessibleDescription().indexOf(QStringLiteral("not answering for 14 s")), -1)
        << stop->accessibleDescription().toStdString();

    // Tab: History..., then each row's shown buttons in row order.
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        QWidget* focus = QApplication::focusWidget();
        auto* button = qobject_cast<QPushButton*>(focus);
        order << (button != nullptr ? button->text().remove(QLatin1Char('&')) : QStringLiteral("?"));
        QTest::keyClick(focus != nullptr ? focus : window, Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(QLatin1Char(' ')).toStdString(), "Stop Name... History... Name... Stop");

    // The rows end: read by their result and reason, the silent one's Stop
    // gone and the focus on no hidden control.
    a.finished = true;
    a.result = Success;
    a.resultWord = Message("updated");
    b.finished = true;
    b.result = Failed;
    b.resultWord = Message("failed");
    b.reason = Message("stopped while the calculator had not answered for 14 s");
    for (int i = 0; i < 3; ++i) {
        view.ShowRows({a, b}, Message::Raw("Updating 2 calculators at once"));
    }
    EXPECT_EQ(spoken(first), "Calculator /dev/ttyUSB0: updated");
    EXPECT_EQ(spoken(second), "Calculator /dev/ttyUSB1: failed - stopped while the calculator had not answered for 14 s");
    EXPECT_EQ(VisibleStop(window), nullptr);
    EXPECT_TRUE(window->focusWidget() == nullptr || window->focusWidget()->isVisible());

    // The question about the next set: its first button has the focus and
    // is read with the question.
    QTimer::singleShot(100, [&] {
        QWidget* focus = window->focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(focus->objectName().toStdString(), "questionOk");
        EXPECT_EQ(focus->accessibleDescription().toStdString(), "Another set?");
        window->findChild<QPushButton*>(QStringLiteral("questionCancel"))->click();
    });
    EXPECT_EQ(view.Ask("Another set?"), IDCANCEL);
    view.CloseRows();
}

// WCAG's contrast ratio of two colours (1 to 21).
double Contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double x = luminance(a);
    const double y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Each ended row says its result as a word, in a colour that stands out
// from the window's background at least 4.5 to 1, in the usual palette and
// in a high-contrast one (white on black).
TEST(ClassroomWindow, ResultsAreWordsLegibleInTheUsualAndAHighContrastPalette)
{
    const QPalette usual = QApplication::palette();
    QPalette high(Qt::white, Qt::black);
    high.setColor(QPalette::Window, Qt::black);
    high.setColor(QPalette::WindowText, Qt::white);
    high.setColor(QPalette::Base, Qt::black);
    high.setColor(QPalette::Text, Qt::white);
    high.setColor(QPalette::Button, Qt::black);
    high.setColor(QPalette::ButtonText, Qt::white);
    high.setColor(QPalette::Highlight, QColor(0xff, 0xff, 0x00));
    high.setColor(QPalette::HighlightedText, Qt::black);
    const struct {
        UpdateResult result;
        const char* word;
    } ends[] = {{Success, "updated"}, {AlreadyCurrent, "current"}, {UnsupportedModel, "unsupported"}, {Failed, "failed"}};
    for (const bool contrast : {false, true}) {
        SCOPED_TRACE(contrast ? "high contrast" : "usual");
        QApplication::setPalette(contrast ? high : usual);
        std::vector<ClassroomRow> rows;
        for (const auto& end : ends) {
            ClassroomRow row;
            row.number = static_cast<uint32_t>(rows.size() + 1);
            row.device = "/dev/ttyUSB" + std::to_string(rows.size());
            row.finished = true;
            row.result = end.result;
            row.resultWord = Message(end.word);
            rows.push_back(row);
        }
        CQtClassroomView view;
        view.ShowRows(rows, Message::Raw("Updating 4 calculators at once"));
        QApplication::processEvents();
        const QColor background = view.Window()->palette().color(QPalette::Window);
        int shown = 0;
        for (QLabel* label : view.Window()->findChildren<QLabel*>()) {
            const std::string html = label->text().toStdString();
            std::smatch colour;
            if (!std::regex_search(html, colour, std::regex("color:(#[0-9a-f]{6})"))) {
                continue;
            }
            ++shown;
            QTextDocument plain;
            plain.setHtml(label->text());
            const std::string word = plain.toPlainText().toStdString();
            EXPECT_TRUE(std::any_of(std::begin(ends), std::end(ends), [&](const auto& e) { return word == e.word; }))
                << word;
            EXPECT_GE(Contrast(QColor(QString::fromStdString(colour[1])), background), 4.5) << word << " " << colour[1];
        }
        EXPECT_EQ(shown, 4);
        if (contrast) {
            Save(view.Window(), "classroom-high-contrast.png");
        }
        view.CloseRows();
    }
    QApplication::setPalette(usual);
}

TEST_F(QtClassroomSet, ASilentRowsStopEndsItAloneAndClosingMidSetKeepsEveryResult)
{
    const std::optional<MoCatalogue> german = MoCatalogue::Load(ZENTRIX_LOCALE_DIR "/de/LC_MESSAGES/zentrix-update.mo");
    ASSERT_TRUE(german.has_value());
    using Clock = std::chrono::steady_clock;
    for (const MoCatalogue* texts : {static_cast<const MoCatalogue*>(nullptr), &*german}) {
        const std::string language = texts == nullptr ? "en" : "de";
        for (const bool closeMidSet : {false, true}) {
            const std::string name = language + (closeMidSet ? "-closed" : "-stopped");
            SCOPED_TRACE(name);
            zsim::Options silent;
            silent.fault = {zsim::FaultKind::GoSilent, 300};
            zsim::PtyCalculator quick;
            zsim::PtyCalculator mute(silent);
            ASSERT_TRUE(quick.Start());
            ASSERT_TRUE(mute.Start());
            UseDevices({quick.SlavePath(), mute.SlavePath()});
            const std::string history = m_base + "/history-" + name + ".jsonl";
            CQtClassroomView view;
            view.SetCatalogue(texts);
            view.SetNamer([](const std::string&, const CalculatorNaming&) { return Message(); });
            m_ui.answers = {IDOK};   // to "stop them?"
            m_ui.texts.clear();
            std::optional<Clock::time_point> pressed;
            int ticksSilent = 0;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                QPushButton* stop = VisibleStop(view.Window());
                // Once the other calculator is done, the heading says so too.
                if (pressed || stop == nullptr || quick.Runs().empty() || ++ticksSilent < 10) {
                    return;
                }
                Save(view.Window(), ("classroom-silent-row-" + language + ".png").c_str());
                // Stop and Name... beside it are whole on the screen, not cut at the window's edge.
                for (const QPushButton* button : view.Window()->findChildren<QPushButton*>()) {
                    const QRect at(button->mapTo(view.Window(), QPoint(0, 0)), button->size());
                    EXPECT_TRUE(!button->isVisible() || view.Window()->rect().contains(at))
                        << button->text().toStdString();
                }
                pressed = Clock::now();
                if (closeMidSet) {
                    view.Window()->close();
                } else {
                    stop->click();
                }
            });
            watch.start(20);
            CClassroom set(SetInputs(view, history));
            const CClassroom::SetEnd end = set.RunAllAtOnce();
            const Clock::time_point ended = Clock::now();
            watch.stop();
            ASSERT_TRUE(pressed.has_value());
            EXPECT_LT(ended - *pressed, std::chrono::seconds(10));   // a hang guard: the rows' reasons say the Stop ended them
            EXPECT_EQ(end, closeMidSet ? CClassroom::SetEnd::Stopped : CClassroom::SetEnd::Done);
            EXPECT_EQ(m_ui.texts.size(), closeMidSet ? 1u : 0u);   // only closing asks first
            const std::vector<ClassroomRow> rows = set.Rows();
            ASSERT_EQ(rows.size(), 2u);
            EXPECT_EQ(rows[0].result, Success);
            EXPECT_EQ(rows[1].result, Failed);
            EXPECT_NE(rows[1].reason.English().find("stopped while the calculator had not answered for"),
                      std::string::npos)
                << rows[1].reason.English();
            mute.Stop();
            ASSERT_EQ(mute.Runs().size(), 1u);
            EXPECT_EQ(mute.Runs().front().ending, zsim::RunRecord::Ending::Terminate04);
            std::ifstream records(history);
            EXPECT_EQ(std::count(std::istreambuf_iterator<char>(records), {}, '\n'), 2);
            EXPECT_EQ(VisibleStop(view.Window()), nullptr);
            if (closeMidSet) {
                // The end stays until Close.
                QTimer::singleShot(300, [&] {
                    Save(view.Window(), ("classroom-end-after-stop-" + language + ".png").c_str());
                    view.Window()->findChild<QPushButton*>(QStringLiteral("questionClose"))->click();
                });
                view.AwaitClose();
            }
            view.CloseRows();
        }
    }
}

}  // namespace
