// SPDX-License-Identifier: GPL-3.0-or-later
// The window in German and French, off screen: the warning and a failure
// with its reason in front of the main window, and the classroom rows,
// grabbed to PNG files (lang-LANG-*.png); every text is translated, Qt's
// buttons too, and no label is cut off.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "shell/session/row_port.h"
#include "ui/qt/qt_classroom_view.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/updater_dlg.h"

namespace {

struct Expected {
    const char* language;
    const char* warningStart;
    const char* cancel;   // Qt's own button text
    const char* reasonStart;
    const char* heading;
};

// Labels whose text needs more room than they have.
QStringList CutOff(QWidget& window)
{
    QStringList cut;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || label->pixmap().isNull() == false) {
            continue;
        }
        const bool tooNarrow = !label->wordWrap() && label->sizeHint().width() > label->width();
        const bool tooLow = label->wordWrap() && label->heightForWidth(label->width()) > label->height();
        if (tooNarrow || tooLow) {
            cut << label->text();
        }
    }
    return cut;
}

void SaveShot(const QImage& image, const std::string& name)
{
    QDir().mkpath(QStringLiteral(ZENTRIX_SCREENSHOT_DIR));
    const QString path = QStringLiteral(ZENTRIX_SCREENSHOT_DIR "/") + QString::fromStdString(name);
    EXPECT_TRUE(image.save(path)) << path.toStdString();
}

// The main window with the box drawn where it stands on it.
QImage Compose(QWidget& mainWindow, QWidget& box)
{
    QImage picture = mainWindow.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage boxImage = box.grab().toImage();
    const QPoint at = picture.rect().center() - boxImage.rect().center();
    QPainter painter(&picture);
    painter.drawImage(at, boxImage);
    return picture;
}

class WindowLanguage : public ::testing::TestWithParam<Expected> {};

TEST_P(WindowLanguage, BoxesAndRowsAreTranslatedAndWhole)
{
    const Expected& e = GetParam();
    const std::string file = std::string(ZENTRIX_LOCALE_DIR "/") + e.language + "/LC_MESSAGES/zentrix-update.mo";
    const std::optional<MoCatalogue> catalogue = MoCatalogue::Load(file);
    ASSERT_TRUE(catalogue) << file;
    QTranslator qtTexts;
    ASSERT_TRUE(qtTexts.load(QStringLiteral("qtbase_") + QString::fromUtf8(e.language),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        << "qt6-translations-l10n (scripts/install-deps) holds Qt's own translations";
    QApplication::installTranslator(&qtTexts);

    CQtFrontEnd frontEnd;
    frontEnd.SetCatalogue(&*catalogue);
    CUpdaterDlg mainWindow(0, [] {});
    frontEnd.SetMainWindow(&mainWindow);
    mainWindow.show();

    struct Seen {
        QString text;
        QStringList buttons;
        QString details;
        QStringList cut;
    };
    const auto show = [&](const char* text, const char* caption, unsigned style, const Message& details,
                          const std::string& png) {
        Seen seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                ADD_FAILURE() << "no box";
                return;
            }
            seen.text = box->windowTitle() + QLatin1Char('|') + box->text();
            for (QAbstractButton* button : box->buttons()) {
                seen.buttons << button->text().remove(QLatin1Char('&'));
            }
            seen.details = box->detailedText();
            seen.cut = CutOff(*box);
            SaveShot(Compose(mainWindow, *box), png);
            box->reject();
        });
        frontEnd.MessageBox(Message(text), Message(caption), style, details);
        return seen;
    };
    const std::string prefix = std::string("lang-") + e.language + "-";
    const Seen warning = show("Updating deletes all data in the calculator's Main Memory.\r\n"
                              "If you need the data, make sure you back it up before updating.\r\n"
                              "Use the MEMORY mode backup function to backup data.\r\n"
                              "\r\n"
                              "Do you want to continue with the update?",
                              "Warning", MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2, {}, prefix + "warning.png");
    EXPECT_TRUE(warning.text.contains(QString::fromUtf8(e.warningStart))) << warning.text.toStdString();
    EXPECT_TRUE(warning.buttons.contains(QString::fromUtf8(e.cancel))) << warning.buttons.join(',').toStdString();
    EXPECT_TRUE(warning.cut.isEmpty()) << warning.cut.join('\n').toStdString();

    // The reason as the update run builds it: its parts are the program's
    // own, translated; the system's error text stays as it is.
    const Message lost(N_("the link to the calculator was lost (%s); check the cable, then start the update again"),
                       {std::string("Broken pipe")});
    const Message reason(N_("%s, block %d of %d: %s"),
                         {Message(N_("the OS image")), std::string("34"), std::string("69"), lost});
    const Seen failure = show("Update failed.", "Error", MB_OK | MB_ICONEXCLAMATION, reason, prefix + "failure.png");
    EXPECT_TRUE(failure.details.startsWith(QString::fromUtf8(e.reasonStart))) << failure.details.toStdString();
    EXPECT_TRUE(failure.cut.isEmpty()) << failure.cut.join('\n').toStdString();

    // The classroom: a row under way, one updated, one failed with its reason.
    std::vector<std::unique_ptr<CRowPort>> ports;
    for (const char* device : {"usb:1:4", "usb:1:5", "/dev/ttyUSB0"}) {
        ports.push_back(std::make_unique<CRowPort>(device));
    }
    ports[0]->OpenProgress("Updating...", 69);
    ports[1]->Finish({Success, {}});
    ports[2]->Finish({Failed, Message(N_("%s: %s"), {Message(N_("the calculator's identity")),
                                                      Message(N_("the calculator did not answer in time"))})});
    std::vector<ClassroomRow> rows;
    for (const auto& port : ports) {
        rows.push_back(port->Row());
    }
    IClassroomView* view = frontEnd.Classroom();
    view->ShowRows(rows, Message::Count("Updating %d calculator at once", "Updating %d calculators at once", 3,
                                        {std::string("3")}));
    auto* classroom = static_cast<CQtClassroomView*>(view);
    QApplication::processEvents();
    ASSERT_NE(classroom->Window(), nullptr);
    SaveShot(classroom->Window()->grab().toImage(), prefix + "classroom.png");
    QStringList texts;
    for (QLabel* label : classroom->Window()->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains(QString::fromUtf8(e.heading))) << texts.join('\n').toStdString();
    EXPECT_FALSE(texts.join('\n').contains(QStringLiteral("calculator"))) << texts.join('\n').toStdString();
    const QStringList cut = CutOff(*classroom->Window());
    EXPECT_TRUE(cut.isEmpty()) << cut.join('\n').toStdString();
    view->CloseRows();
    QApplication::removeTranslator(&qtTexts);
}

INSTANTIATE_TEST_SUITE_P(
    GermanAndFrench, WindowLanguage,
    ::testing::Values(Expected{"de", "Warnung|Beim Aktualisieren werden alle Daten", "Abbrechen",
                               "das OS-Abbild, Block 34 von 69: die Verbindung zum Rechner ist abgerissen",
                               "3 Rechner werden gleichzeitig aktualisiert"},
                      Expected{"fr", "Avertissement|La mise à jour efface toutes les données", "Annuler",
                               "l'image de l'OS, bloc 34 sur 69 : la liaison avec la calculatrice a été perdue",
                               "Mise à jour simultanée de 3 calculatrices"}),
    [](const ::testing::TestParamInfo<Expected>& info) { return std::string(info.param.language); });

}  // namespace
