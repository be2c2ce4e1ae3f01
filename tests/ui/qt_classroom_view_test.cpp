// SPDX-License-Identifier: GPL-3.0-or-later
// The window of many calculators, off screen: eight rows driven through
// their ports as eight runs would, mid-update and at the summary (both
// grabbed to PNG files for the record), and Close asking to stop.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "shell/classroom.h"
#include "ui/qt/qt_classroom_view.h"

namespace {

struct Calculator {
    const char* device;
    const char* phase;
    int steps;
    int done;
    UpdateOutcome outcome;
};

const std::vector<Calculator> kSet = {
    {"usb:1:4", "Updating...", 69, 52, {Success, ""}},
    {"usb:1:5", "Updating...", 69, 31, {Success, ""}},
    {"usb:1:6", "Updating...", 69, 12, {Success, ""}},
    {"usb:1:7", "Checking the calculator version...", 256, 200,
     {AlreadyCurrent, "the version check: the calculator runs OS 02.00, already at or above the image's 01.05"}},
    {"usb:1:8", "Checking the calculator version...", 256, 90,
     {UnsupportedModel, "the calculator's identity: the calculator's model code 12345678 is not one this program supports"}},
    {"usb:2:3", "Updating...", 69, 33,
     {Failed, "the OS image, block 34 of 69: the link to the calculator was lost (Broken pipe)"}},
    {"/dev/ttyUSB0", "Checking the calculator version...", 256, 100,
     {Failed, "the calculator's identity: the calculator did not answer for 20 s"}},
    {"/dev/ttyUSB1", "Sending the updater...", 3, 2, {Success, ""}},
};

void Save(QDialog* window, const char* name)
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
    view.ShowRows(rows(), "Updating 8 calculators at once");
    QDialog* window = view.Window();
    ASSERT_NE(window, nullptr);
    window->resize(960, window->sizeHint().height());
    QApplication::processEvents();
    Save(window, "classroom-mid-update.png");

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
    std::vector<std::string> summary;
    for (size_t i = 0; i < kSet.size(); ++i) {
        ports[i]->Finish(kSet[i].outcome);
        const ClassroomRow row = ports[i]->Row();
        summary.push_back(row.resultWord + " " + row.device + (row.reason.empty() ? "" : " " + row.reason));
    }
    view.ShowRows(rows(), "Updating 8 calculators at once");
    view.ShowSummary(summary);
    window->resize(960, window->sizeHint().height());
    QApplication::processEvents();
    Save(window, "classroom-summary.png");
    EXPECT_EQ(window->findChildren<QProgressBar*>().size(), 8);
    EXPECT_EQ(labelsWith(QStringLiteral(">updated<")), 4);
    EXPECT_EQ(labelsWith(QStringLiteral(">failed<")), 2);
    EXPECT_EQ(labelsWith(QStringLiteral("failed usb:2:3 the OS image, block 34 of 69")), 1);   // the summary

    // A finished row on a port that stays offers the next calculator there:
    // its Next button asks for that row's port only.
    EXPECT_EQ(window->findChildren<QPushButton*>().size(), 8);
    for (QPushButton* next : window->findChildren<QPushButton*>()) {
        EXPECT_FALSE(next->isVisible());
    }
    ports[7]->OfferNext(true);
    view.ShowRows(rows(), "Station");
    QPushButton* next = window->findChildren<QPushButton*>()[7];
    ASSERT_TRUE(next->isVisible());
    EXPECT_FALSE(window->findChildren<QPushButton*>()[6]->isVisible());
    next->click();
    EXPECT_EQ(view.Serve(1), ClassroomRequest::Next);
    EXPECT_EQ(view.NextDevice(), "/dev/ttyUSB1");

    // Closing the window does not close it: it asks the loop to stop.
    EXPECT_EQ(view.Serve(1), ClassroomRequest::None);
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(view.Serve(1), ClassroomRequest::Stop);
    EXPECT_EQ(view.Serve(1), ClassroomRequest::None);
    view.CloseRows();
    EXPECT_EQ(view.Window(), nullptr);
}

}  // namespace
