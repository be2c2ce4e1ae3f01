// The window front end on Qt.
#include <QApplication>

#include "app/desktop.h"
#include "shell/updater_app.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/updater_dlg.h"

std::optional<int> RunOnDesktop(CUpdaterApp& app, int argc, char** argv,
                                const std::vector<std::string>& arguments)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zentrix-update"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTRIX_VERSION));
    CQtFrontEnd frontEnd;
    app.SetFrontEnd(&frontEnd);
    app.m_createMainWindow = [&frontEnd](int owner, StartLoop start) {
        auto window = std::make_unique<CUpdaterDlg>(owner, std::move(start));
        frontEnd.SetMainWindow(window.get());
        return std::unique_ptr<IMainWindow>(std::move(window));
    };
    app.InitInstance(arguments);
    app.SetFrontEnd(nullptr);
    return frontEnd.QuitCode();
}
