#include "stationlaunch.h"
#include "stationwindow.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Morlank"));
    QApplication::setApplicationName(QStringLiteral("morlank-station"));
    QApplication::setApplicationVersion(QStringLiteral(MORLANK_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/new/icon/myappico.ico")));
    // The link logs every answer for the Morlank window's debug log; nobody
    // reads that here.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    StationLaunch launch;
    QString message;
    switch (StationLaunch::parse(QApplication::arguments(), launch, message)) {
    case StationLaunch::Help:
    case StationLaunch::Version: std::printf("%s\n", qPrintable(message)); return 0;
    case StationLaunch::Error:
        std::fprintf(stderr, "morlank-station: %s\n", qPrintable(message));
        QMessageBox::critical(nullptr, QStringLiteral("Morlank Station"),
                              QStringLiteral("The command line cannot start a station: %1").arg(message));
        return 2;
    case StationLaunch::Run: break;
    }
    StationWindow window(launch);
    window.showMaximized();
    app.exec();
    return window.exitStatus();
}
