// SPDX-License-Identifier: GPL-3.0-or-later
// The window's device chooser, off screen: what each row says, OK only with
// a pick, one pick or several, Remember, Cancel; grabbed to a PNG file for
// the record.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
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
    calculator.problem = {DeviceProblemCode::PermissionDenied, Message(N_("permission denied"))};
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
    EXPECT_EQ(dialog.Remember()->text().remove(QLatin1Char('&')).toStdString(), "Remember this calculator");
    // A screen reader reads each entry as one line, its path as its
    // description, and the list by what it holds and what to do.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(dialog.List());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text(QAccessible::Name).toStdString(), "What could be the calculator");
    EXPECT_EQ(list->text(QAccessible::Description).toStdString(), "No calculator is configured. Choose the one to update:");
    std::vector<std::string> read;
    for (int i = 0; i < list->childCount(); ++i) {
        read.push_back(list->child(i)->text(QAccessible::Name).toStdString() + " | " +
                       list->child(i)->text(QAccessible::Description).toStdString());
    }
    EXPECT_EQ(read, (std::vector<std::string>{
                        "Zentrix graphing calculator (Zentrix). usb:1:7 - ID 1a2b:5e01 - serial ZX-0042 - you may not "
                        "open it: permission denied | usb:1:7",
                        "Serial port. /dev/ttyUSB0 - you may open it | /dev/ttyUSB0"}));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog.PathField())->text(QAccessible::Name).toStdString(),
              "Or type the port's path:");

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
    EXPECT_EQ(several.Remember()->text().remove(QLatin1Char('&')).toStdString(), "Remember these calculators");

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

// "Name..." is offered once a namer is given, names a picked row by its
// stable name (a USB calculator by its serial) and shows the label at once.
TEST(DeviceChooser, NameGivesAPickedCalculatorALabel)
{
    CDeviceChooserDlg dialog(nullptr, Candidates(), false);
    EXPECT_TRUE(dialog.NameButton()->isHidden());
    std::vector<std::string> named;
    dialog.SetNamer([&](const std::string& device, const CalculatorNaming& naming) {
        named = {device, naming.label, naming.assetTag};
        return Message();
    });
    EXPECT_FALSE(dialog.NameButton()->isHidden());
    EXPECT_FALSE(dialog.NameButton()->isEnabled());
    dialog.List()->setCurrentRow(0);
    ASSERT_TRUE(dialog.NameButton()->isEnabled());
    QTimer::singleShot(0, [] {
        auto* ask = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(ask, nullptr);
        auto* name = ask->findChild<QLineEdit*>(QStringLiteral("nameField"));
        auto* tag = ask->findChild<QLineEdit*>(QStringLiteral("assetTagField"));
        ASSERT_TRUE(name != nullptr && tag != nullptr);
        EXPECT_EQ(ask->focusWidget(), name);   // the name first, whether or not the box is active
        name->setText(QStringLiteral("Desk\x1b 3"));
        // A scanner types the tag and presses Enter: that is OK.
        tag->setFocus();
        QTest::keyClicks(tag, QStringLiteral("ZX-0042"));
        QDir().mkpath(QStringLiteral(ZENTRIX_SCREENSHOT_DIR));
        ask->grab().save(QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/name-dialog.png"));
        QTest::keyClick(tag, Qt::Key_Return);
    });
    dialog.NameButton()->click();
    EXPECT_EQ(named, (std::vector<std::string>{"usb-serial:ZX-0042", "Desk\x1b 3", "ZX-0042"}));
    EXPECT_TRUE(dialog.List()->item(0)->text().startsWith(QStringLiteral("Desk  3 - "))) << dialog.List()->item(0)->text().toStdString();
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

namespace {

// A chooser that follows what is plugged in: a port made after it opened
// is listed through the device watch (and Refresh lists again), the picks
// are kept, and a typed path is the calculator chosen.
TEST(DeviceChooser, ListsAPortThatAppearsAfterItOpenedAndTakesATypedPath)
{
    char pattern[] = "/tmp/zentrix-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    auto lister = [&folder] {
        std::vector<ListedDevice> found;
        for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files, QDir::Name)) {
            ListedDevice port;
            port.path = folder + "/" + name.toStdString();
            port.mayOpen = true;
            found.push_back(port);
        }
        return found;
    };
    CDeviceChooserDlg dialog(nullptr, {}, false, {}, nullptr, lister, {folder + "/ttyUSB0"});
    dialog.show();
    QDir().mkpath(QStringLiteral(ZENTRIX_SCREENSHOT_DIR));
    dialog.grab().save(QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/device-chooser-before.png"));
    EXPECT_EQ(dialog.List()->count(), 0);
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    ASSERT_NE(dialog.RefreshButton(), nullptr);

    QFile(QString::fromStdString(folder + "/ttyUSB0")).open(QIODevice::WriteOnly);
    for (int i = 0; i < 100 && dialog.List()->count() == 0; ++i) {
        QTest::qWait(20);
    }
    ASSERT_EQ(dialog.List()->count(), 1);   // no Refresh needed: the watch saw it
    EXPECT_TRUE(dialog.List()->item(0)->text().contains(QString::fromStdString(folder + "/ttyUSB0")));
    EXPECT_TRUE(dialog.List()->item(0)->isSelected());   // the one that arrived
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    dialog.grab().save(QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/device-chooser-after.png"));

    QFile(QString::fromStdString(folder + "/ttyACM0")).open(QIODevice::WriteOnly);
    dialog.RefreshButton()->click();
    ASSERT_EQ(dialog.List()->count(), 2);
    DeviceChooserResult result = dialog.Result();
    ASSERT_EQ(result.chosen.size(), 1u);
    ASSERT_EQ(result.shown.size(), 2u);
    EXPECT_EQ(result.shown[result.chosen[0]].path, folder + "/ttyUSB0");   // the pick kept across the lists

    dialog.PathField()->setText(QStringLiteral("/dev/ttyS4"));
    result = dialog.Result();
    ASSERT_EQ(result.chosen.size(), 1u);
    EXPECT_EQ(result.shown[result.chosen[0]].path, "/dev/ttyS4");
    dialog.List()->clearSelection();
    EXPECT_TRUE(dialog.OkButton()->isEnabled());   // a typed path alone may be taken
    QDir(QString::fromStdString(folder)).removeRecursively();
}

}  // namespace
