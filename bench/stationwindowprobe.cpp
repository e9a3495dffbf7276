// morlank-station's window, started as the program starts it, for the
// benchmarks to time from outside:
//   --quit-when-shown ARGS   quits as soon as the window is shown (start-up);
//   --bare                   shows an empty QMainWindow with 32 labels instead,
//                            the reference for what Qt itself costs;
//   ARGS                     runs until closed (SIGTERM closes it as it closes
//                            the program), then prints how late a 10 ms timer
//                            fired from the window's first shown on:
//                            "lateness MEDIAN P99 MAX COUNT", in ms.
#include "stationwindow/stationlaunch.h"
#include "stationwindow/stationwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const int tickMs = 10;
const int bareLabels = 32;

QMainWindow *bareWindow()
{
    auto *window = new QMainWindow;
    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    for (int i = 0; i < bareLabels; ++i)
        layout->addWidget(new QLabel(QStringLiteral("Slot %1").arg(i + 1)), i / 8, i % 8);
    window->setCentralWidget(grid);
    return window;
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(share * double(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Morlank"));
    QCoreApplication::setApplicationName(QStringLiteral("morlank-station"));
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QStringList arguments = QCoreApplication::arguments();
    const bool bare = arguments.removeAll(QStringLiteral("--bare")) > 0;
    const bool quitWhenShown = arguments.removeAll(QStringLiteral("--quit-when-shown")) > 0;

    std::unique_ptr<QMainWindow> window;
    if (bare) {
        window.reset(bareWindow());
    } else {
        StationLaunch launch;
        QString error;
        if (StationLaunch::parse(arguments, launch, error) != StationLaunch::Run) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        window = std::make_unique<StationWindow>(launch);
    }
    window->show();
    if (bare || quitWhenShown) {
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
        return app.exec();
    }

    std::vector<double> lateness;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        lateness.push_back(std::max(0.0, sinceTick.nsecsElapsed() / 1e6 - tickMs));
        sinceTick.restart();
    });
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        tick.start(tickMs);
    });
    app.exec();
    if (lateness.empty())
        return 1;
    std::printf("lateness %.3f %.3f %.3f %zu\n", percentile(lateness, 0.5), percentile(lateness, 0.99),
                percentile(lateness, 1.0), lateness.size());
    return 0;
}
