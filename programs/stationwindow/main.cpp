#include "line/databaseurl.h"
#include "stationwindow/stationlaunch.h"
#include "stationwindow/stationwindow.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
// Help and version are printed without a display, as from a terminal on a
// machine without one: no window system is asked for them.
bool asksForText(int argc, char *argv[])
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        for (const char *option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    const std::unique_ptr<QCoreApplication> app(asksForText(argc, argv) ? new QCoreApplication(argc, argv)
                                                                        : new QApplication(argc, argv));
    QCoreApplication::setOrganizationName(QStringLiteral("Morlank"));
    QCoreApplication::setApplicationName(QStringLiteral("morlank-station"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORLANK_VERSION));
    // The link logs every answer for the Morlank window's debug log; nobody
    // reads that here.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    StationLaunch launch;
    QString message;
    const StationLaunch::Outcome outcome = StationLaunch::parse(QCoreApplication::arguments(), launch, message);
    if (outcome == StationLaunch::Help || outcome == StationLaunch::Version) {
        std::printf("%s\n", qPrintable(message));
        return 0;
    }
    if (outcome == StationLaunch::Run && !qobject_cast<QApplication *>(app.get()))
        message = QStringLiteral("--help and --version are not values of other options.");
    if (outcome == StationLaunch::Error || !qobject_cast<QApplication *>(app.get())) {
        std::fprintf(stderr, "morlank-station: %s\n", qPrintable(message));
        if (qobject_cast<QApplication *>(app.get()))
            QMessageBox::critical(nullptr, QStringLiteral("Morlank Station"),
                                  QStringLiteral("The command line cannot start a station: %1").arg(message));
        return 2;
    }
    const QString warning = DatabaseUrl::passwordWarning(launch.options.db);
    if (!warning.isEmpty())
        std::fprintf(stderr, "morlank-station: %s\n", qPrintable(warning));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/new/icon/myappico.ico")));
    StationWindow window(launch);
    window.showMaximized();
    app->exec();
    return window.exitStatus();
}
