// SPDX-License-Identifier: GPL-3.0-or-later
// The window's device chooser, off screen: what each row says, OK only with
// a pick, one pick or several, Remember, Cancel; grabbed to a PNG file for
// the record.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

#include "ui/qt/qt_device_chooser.h"

namespace {

std::vector<ListedDevice> Candidates()
{
    ListedDevice calculator;
    calculator.path = "usb:1:7";
    calculator.usb = calculator.found = true;
    calculator.vendor = 0x1a2b;
    calculator.product = 0x5e01;
    calculator.manufacturer = "Zentrix";
    calculator.productName = "Zentrix graphing calculator";
    calculator.serialNumber = "ZX-0042";
    calculator.problem = "permission denied";
    ListedDevice port;
    port.path = "/dev/ttyUSB0";
    port.mayOpen = true;
    return {calculator, port};
}

TEST(DeviceChooser, RowsSayWhatEachDeviceIsAndWhetherItMayBeOpened)
{
    CDeviceChooserDlg dialog(nullptr, Candidates(), false);
    ASSERT_EQ(dialog.List()->count(), 2);
    EXPECT_EQ(dialog.List()->item(0)->text().toStdString(),
              "Zentrix graphing calculator (Zentrix)\n"
              "usb:1:7 - ID 1a2b:5e01 - serial ZX-0042 - you may not open it: permission denied");
    EXPECT_EQ(dialog.List()->item(1)->text().toStdString(), "Serial port\n/dev/ttyUSB0 - you may open it");
    EXPECT_EQ(dialog.Remember()->text().toStdString(), "Remember this calculator");

    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    dialog.List()->item(0)->setSelected(true);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    // One pick at a time: another replaces it.
    dialog.List()->setCurrentRow(1);
    EXPECT_EQ(dialog.Result().chosen, std::vector<size_t>{1});
    dialog.Remember()->setChecked(true);
    EXPECT_TRUE(dialog.Result().remember);

    dialog.show();
    QApplication::processEvents();
    QDir().mkpath(QStringLiteral(ZENTRIX_SCREENSHOT_DIR));
    const QString path = QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/device-chooser.png");
    EXPECT_TRUE(dialog.grab().save(path)) << path.toStdString();
}

TEST(DeviceChooser, SeveralMayBePickedForTheSetAndCancelChoosesNothing)
{
    CDeviceChooserDlg several(nullptr, Candidates(), true);
    several.List()->item(0)->setSelected(true);
    several.List()->item(1)->setSelected(true);
    EXPECT_EQ(several.Result().chosen, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(several.Remember()->text().toStdString(), "Remember these calculators");

    // Run modally: OK after a pick is Chosen, Cancel is Cancelled.
    for (const bool ok : {true, false}) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = dynamic_cast<CDeviceChooserDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->List()->setCurrentRow(0);
            dialog->Remember()->setChecked(true);
            ok ? dialog->OkButton()->click() : dialog->reject();
        });
        DeviceChooserResult result;
        const ChooserAnswer answer = RunDeviceChooser(nullptr, Candidates(), false, result);
        EXPECT_EQ(answer, ok ? ChooserAnswer::Chosen : ChooserAnswer::Cancelled);
        EXPECT_EQ(result.chosen, ok ? std::vector<size_t>{0} : std::vector<size_t>{});
        EXPECT_EQ(result.remember, ok);
    }
}

}  // namespace

namespace {

// "Allow access..." is offered for a USB calculator this user may not open,
// asks for exactly its IDs, and the row says when access was allowed.
TEST(DeviceChooser, AllowAccessIsOfferedForALockedUsbCalculatorAndAsksForItsIds)
{
    std::vector<std::string> asked;
    bool grant = false;
    CDeviceChooserDlg dialog(nullptr, Candidates(), false, [&](const std::string& id) {
        asked.push_back(id);
        return grant;
    });
    ASSERT_NE(dialog.AllowAccessButton(), nullptr);
    EXPECT_FALSE(dialog.AllowAccessButton()->isEnabled());
    dialog.List()->setCurrentRow(1);   // the serial port needs nothing
    EXPECT_FALSE(dialog.AllowAccessButton()->isEnabled());
    dialog.List()->setCurrentRow(0);
    ASSERT_TRUE(dialog.AllowAccessButton()->isEnabled());

    dialog.AllowAccessButton()->click();   // refused: nothing changes
    EXPECT_TRUE(dialog.AllowAccessButton()->isEnabled());
    grant = true;
    dialog.AllowAccessButton()->click();
    EXPECT_EQ(asked, (std::vector<std::string>{"1a2b:5e01", "1a2b:5e01"}));
    EXPECT_FALSE(dialog.AllowAccessButton()->isEnabled());
    EXPECT_TRUE(dialog.List()->item(0)->text().endsWith(QStringLiteral("you may open it (access allowed)")))
        << dialog.List()->item(0)->text().toStdString();

    EXPECT_EQ(CDeviceChooserDlg(nullptr, Candidates(), false).AllowAccessButton(), nullptr);
}

}  // namespace
