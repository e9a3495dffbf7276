// Runs every benchmark in turn and prints one table: each row is the median
// of several runs, and timings are ratios of figures taken in the same run.
#include "downloadbench.h"
#include "fleetbench.h"
#include "machine.h"
#include "resulttable.h"
#include "scanbench.h"
#include "startupbench.h"
#include "stationwindowbench.h"
#include "textreport.h"

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
const int startupRuns = 10;
// Each busy run serves 32 units of 60 commands three times, about 15 s each.
const int stationWindowBusyRuns = 3;
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ResultTable table;

    DownloadBench download;
    download.run(downloadRuns);
    download.report(table);

    ScanBench scan;
    scan.run(silentScanRuns, unopenableScanRuns);
    scan.report(table);

    FleetBench fleet(QStringLiteral(MORLANK_CLI), QStringLiteral(MORLANK_DEVSIM));
    fleet.run(fleetDownloadRuns, fleetProbeRuns);
    fleet.report(table);

    TextReport text(QStringLiteral(MORLANK_BENCH_TEXT_RUNNER));
    text.run(textRepetitions);
    text.report(table);

    StartupBench startup(QStringLiteral(MORLANK_BENCH_STARTUP_PROBE));
    startup.run(startupRuns);
    startup.report(table);

    StationWindowBench stationWindow(QStringLiteral(MORLANK_BENCH_STATION_WINDOW_PROBE), QStringLiteral(MORLANK_STATION),
                                     QStringLiteral(MORLANK_CLI), QStringLiteral(MORLANK_DEVSIM));
    stationWindow.run(stationWindowBusyRuns, startupRuns);
    stationWindow.report(table);

    QTextStream out(stdout);
    out << "Machine: " << machineDescription() << "\n\n";
    table.print(out);
    return table.allMet() ? 0 : 1;
}
