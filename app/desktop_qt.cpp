// SPDX-License-Identifier: GPL-3.0-or-later
// The window front end on Qt.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>
#include <iostream>

#include "app/desktop.h"
#include "app/grant_access.h"
#include "app/process_guard.h"
#include "app/translations.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/session/updater_app.h"
#include "ui/qt/display_probe.h"
#include "ui/qt/qt_history_dialog.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/updater_dlg.h"

std::optional<int> RunOnDesktop(CUpdaterApp& app, int argc, char** argv,
                                const CUpdaterCommandLineInfo& commandLine, const UserCatalogue* texts)
{
    if (!DisplayReachable(argc, argv)) {
        const char* display = std::getenv("DISPLAY");
        const Message why =
            display != nullptr
                ? Message(N_("cannot open a window (no display can be reached at DISPLAY=%s); using the console"),
                          {SafeText(display)})
                : Message(N_("cannot open a window (no display can be reached); using the console"));
        COwnLines(std::cerr, texts != nullptr ? &texts->catalogue : nullptr, StandardErrorColumns)
            .Say(why, OwnLineKind::Plain);
        return std::nullopt;
    }
    StopRequests* stops = InstallStopSignals(true);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zentrix-update"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTRIX_VERSION));
    // Qt's own texts (the buttons of the boxes) in the same language.
    QTranslator qtTexts;
    if (texts != nullptr &&
        qtTexts.load(QStringLiteral("qtbase_") + QString::fromStdString(texts->language),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    CQtFrontEnd frontEnd(stops);
    frontEnd.SetCatalogue(texts != nullptr ? &texts->catalogue : nullptr);
    // pkexec asks for the administrator in a window of its own.
    const MoCatalogue* catalogue = texts != nullptr ? &texts->catalogue : nullptr;
    frontEnd.m_allowAccess = [catalogue](const std::string& id) { return GrantAccess(id, "", COwnLines(std::cerr, catalogue, StandardErrorColumns)) == 0; };
    app.SetFrontEnd(&frontEnd);
    app.SetMainWindowFactory([&frontEnd](int owner, StartLoop start) {
        auto window = std::make_unique<CUpdaterDlg>(owner, std::move(start));
        frontEnd.SetMainWindow(window.get());
        return std::unique_ptr<IMainWindow>(std::move(window));
    });
    app.InitInstance(commandLine);
    app.SetFrontEnd(nullptr);
    return frontEnd.QuitCode();
}

const char* DesktopDisplay()
{
    return std::getenv("DISPLAY");
}

std::optional<int> ShowHistoryOnDesktop(int argc, char** argv, const std::string& path, const UserCatalogue* texts)
{
    if (!DisplayReachable(argc, argv)) {
        return std::nullopt;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zentrix-update"));
    QTranslator qtTexts;
    if (texts != nullptr &&
        qtTexts.load(QStringLiteral("qtbase_") + QString::fromStdString(texts->language),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    CHistoryDialog history(nullptr, path, texts != nullptr ? &texts->catalogue : nullptr);
    history.exec();
    return 0;
}
