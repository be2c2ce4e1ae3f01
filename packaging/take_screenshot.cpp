// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-take-screenshot FILE: starts the program's desktop front end off
// screen, the way zentrix-update starts it, and saves its main window with
// the first message box on it (the connect prompt) as a PNG. The boxes are
// then answered as Escape answers them until the update loop ends.
// zentrix-take-screenshot --class-set FILE and --history FILE save the
// class-set window at a set's end and the history window instead
// (screenshot_scenes.h). Runs at build time without a display; the pictures
// are the software centre's screenshots.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "packaging/screenshot_scenes.h"
#include "shell/session/updater_app.h"
#include "shell/startup/command_line.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/updater_dlg.h"

namespace {

constexpr int kGiveUpMs = 30000;

// The main window as the user sees it, the box drawn where it stands on it.
QImage Compose(QWidget& mainWindow, QWidget& box)
{
    QImage picture = mainWindow.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage boxImage = box.grab().toImage();
    QPoint at = box.geometry().topLeft() - mainWindow.geometry().topLeft();
    if (!picture.rect().contains(QRect(at, boxImage.size()))) {
        at = picture.rect().center() - boxImage.rect().center();
    }
    QPainter painter(&picture);
    painter.drawImage(at, boxImage);
    return picture;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string scene = argc == 3 ? argv[1] : "";
    if ((argc != 2 && argc != 3) || (argc == 3 && scene != "--class-set" && scene != "--history")) {
        std::fprintf(stderr, "usage: zentrix-take-screenshot [--class-set | --history] FILE\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[argc - 1]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ZENTRIX_UI", "gui");
    qputenv("ZENTRIX_DEVICES", "");   // no calculator: the run would only fail
    qunsetenv("ZENTRIX_USB_IDS");
    qunsetenv("ZENTRIX_TRACE");
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    if (!scene.empty()) {
        const bool saved = scene == "--class-set" ? SaveClassSetPicture(file) : SaveHistoryPicture(file);
        if (!saved) {
            std::fprintf(stderr, "zentrix-take-screenshot: cannot write %s\n", argv[argc - 1]);
        }
        return saved ? 0 : 1;
    }

    CQtFrontEnd frontEnd;
    CUpdaterDlg* mainWindow = nullptr;
    UpdaterSettings settings;
    // The folder has no images: the check that would say so before the
    // connect prompt is left out, as the picture is of that prompt.
    settings.checkImages = CheckImagesFn();
    settings.createMainWindow = [&frontEnd, &mainWindow](int owner, StartLoop start) {
        auto window = std::make_unique<CUpdaterDlg>(owner, std::move(start));
        frontEnd.SetMainWindow(window.get());
        mainWindow = window.get();
        return std::unique_ptr<IMainWindow>(std::move(window));
    };
    CUpdaterApp app(&frontEnd, std::move(settings));

    bool taken = false;
    bool saved = false;
    QTimer watcher;
    watcher.setInterval(50);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || mainWindow == nullptr || !box->isVisible()) {
            return;
        }
        if (!taken) {
            taken = true;
            saved = Compose(*mainWindow, *box).save(file, "PNG");
        }
        if (QAbstractButton* escape = box->escapeButton()) {
            escape->click();
        } else {
            box->reject();
        }
    });
    watcher.start();
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        std::fprintf(stderr, "zentrix-take-screenshot: no message box appeared\n");
        std::_Exit(1);
    });
    giveUp.start(kGiveUpMs);

    // A folder of its own (the build folder), so that the first thing shown is
    // the connect prompt, not the question for the image folder.
    app.InitInstance(ParseProgramOptions({"zentrix-update", QDir::currentPath().toStdString()}).launcher);
    app.SetFrontEnd(nullptr);

    if (!taken) {
        std::fprintf(stderr, "zentrix-take-screenshot: the update loop showed no message box\n");
        return 1;
    }
    if (!saved) {
        std::fprintf(stderr, "zentrix-take-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    if (frontEnd.QuitCode() != kQuitCode) {
        std::fprintf(stderr, "zentrix-take-screenshot: the update loop ended with %d, not %d\n",
                     frontEnd.QuitCode(), kQuitCode);
        return 1;
    }
    return 0;
}
