// Runs every benchmark in turn and prints one table: each row is the median
// of several runs, and timings are ratios of figures taken in the same run.
// Group names on the command line run those groups alone, in the usual order:
// morlank-bench station.
#include "downloadbench.h"
#include "fleetbench.h"
#include "linebench.h"
#include "machine.h"
#include "reportbench.h"
#include "resulttable.h"
#include "scanbench.h"
#include "startupbench.h"
#include "stationrows.h"
#include "stationwindowbench.h"
#include "textreport.h"
#include "valuesreport.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {
const int downloadRuns = 5;
const int silentScanRuns = 5;
const int unopenableScanRuns = 11;
// Each fleet run downloads to 1, 8 and 32 devices, about 20 s each.
const int fleetDownloadRuns = 3;
const int fleetProbeRuns = 5;
const int textRepetitions = 9;
const int valuesRepetitions = 5;
const int startupRuns = 10;
// Each station throughput run serves 1 and 16 slots, about 30 s each.
const int stationThroughputRuns = 3;
// Each busy run serves 32 units of 60 commands three times, about 15 s each.
const int stationWindowBusyRuns = 3;
const int reportRecords = 1000000;
const int reportRuns = 3;

const QStringList groups{QStringLiteral("download"), QStringLiteral("scan"),   QStringLiteral("fleet"),
                         QStringLiteral("station"),  QStringLiteral("text"),   QStringLiteral("values"),
                         QStringLiteral("startup"),  QStringLiteral("window"), QStringLiteral("report"),
                         QStringLiteral("line")};
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList chosen = app.arguments().mid(1);
    for (const QString &name : chosen) {
        if (!groups.contains(name)) {
            QTextStream(stderr) << "morlank-bench: no group '" << name << "'; the groups: " << groups.join(' ') << '\n';
            return 2;
        }
    }
    const auto runs = [&](const char *group) { return chosen.isEmpty() || chosen.contains(QLatin1String(group)); };
    ResultTable table;

    if (runs("download")) {
        DownloadBench download;
        download.run(downloadRuns);
        download.report(table);
    }

    if (runs("scan")) {
        ScanBench scan;
        scan.run(silentScanRuns, unopenableScanRuns);
        scan.report(table);
    }

    if (runs("fleet")) {
        FleetBench fleet(QStringLiteral(MORLANK_CLI), QStringLiteral(MORLANK_DEVSIM));
        fleet.run(fleetDownloadRuns, fleetProbeRuns);
        fleet.report(table);
    }

    if (runs("station")) {
        StationRows station(QStringLiteral(MORLANK_CLI), QStringLiteral(MORLANK_DEVSIM));
        station.run(stationThroughputRuns);
        station.report(table);
    }

    if (runs("text")) {
        TextReport text(QStringLiteral(MORLANK_BENCH_TEXT_RUNNER));
        text.run(textRepetitions);
        text.report(table);
    }

    if (runs("values")) {
        ValuesReport values(QStringLiteral(MORLANK_BENCH_VALUES_RUNNER));
        values.run(valuesRepetitions);
        values.report(table);
    }

    if (runs("startup")) {
        StartupBench startup(QStringLiteral(MORLANK_BENCH_STARTUP_PROBE));
        startup.run(startupRuns);
        startup.report(table);
    }

    if (runs("window")) {
        StationWindowBench stationWindow(QStringLiteral(MORLANK_BENCH_STATION_WINDOW_PROBE),
                                         QStringLiteral(MORLANK_STATION), QStringLiteral(MORLANK_CLI),
                                         QStringLiteral(MORLANK_DEVSIM));
        stationWindow.run(stationWindowBusyRuns, startupRuns);
        stationWindow.report(table);
    }

    if (runs("report")) {
        ReportBench report(QStringLiteral(MORLANK_CLI), reportRecords);
        report.run(reportRuns);
        report.report(table);
    }

    if (runs("line")) {
        LineBench line(QStringLiteral(MORLANK_CLI), QStringLiteral(MORLANK_BENCH_LINE_RESERVER),
                       QStringLiteral(MORLANK_DEVSIM));
        line.run(stationThroughputRuns);
        line.report(table);
    }

    QTextStream out(stdout);
    out << "Machine: " << machineDescription() << "\n\n";
    table.print(out);
    return table.allMet() ? 0 : 1;
}
