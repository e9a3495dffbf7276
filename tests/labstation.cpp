// morlank-station's window as the USB lab's guest runs it, offscreen, on the
// system's own ports: started with a silent port and then the command line
// given, it watches the silent port too and prints "looked" once that port's
// tile shows Empty, the station's first look done. Then it prints the tile
// of the first unit to end, once a tile says OK (status 0), FAILED or Gone
// (status 1), or nothing within two minutes (status 2).
#include "stationwindow/slottile.h"
#include "stationwindow/stationlaunch.h"
#include "stationwindow/stationwindow.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: labstation SILENT-PORT STATION-ARGUMENTS...\n");
        return 2;
    }
    const QString silentPort = arguments.takeAt(1);
    arguments << QStringLiteral("--port") << silentPort;
    StationLaunch launch;
    QString error;
    if (StationLaunch::parse(arguments, launch, error) != StationLaunch::Run) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    StationWindow window(launch);
    window.show();
    bool looked = false;
    QString ended;
    const QStringList ends{"OK", "FAILED", "Gone"};
    [[maybe_unused]] const bool seen = QTest::qWaitFor([&] {
        for (const SlotTile *tile : window.findChildren<SlotTile *>()) {
            const QStringList lines = tile->text().split(QLatin1Char('\n'));
            if (!looked && lines.value(0) == silentPort && lines.value(1) == QLatin1String("Empty")) {
                looked = true;
                std::printf("looked\n");
                std::fflush(stdout);
            }
            for (const QString &line : lines) {
                if (ends.contains(line))
                    ended = tile->text();
            }
        }
        return !ended.isEmpty();
    }, 120000);
    std::printf("%s\n", qPrintable(ended));
    std::fflush(stdout);
    return ended.isEmpty() ? 2 : ended.split(QLatin1Char('\n')).contains(QStringLiteral("OK")) ? 0 : 1;
}
