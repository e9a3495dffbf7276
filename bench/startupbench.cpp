#include "startupbench.h"

#include "childrun.h"
#include "measure.h"
#include "resulttable.h"

#include <QDebug>

StartupBench::StartupBench(const QString &probePath)
    : probe(probePath)
{
}

// The two kinds alternate so that both see the same machine; one unrecorded
// start of each first warms the file cache.
void StartupBench::run(int runs)
{
    qInfo().noquote() << QStringLiteral("start-up: %1 runs").arg(runs);
    Samples warmUp;
    if (!runProbe(false, warmUp) || !runProbe(true, warmUp))
        return;
    for (int i = 0; i < runs; ++i) {
        if (!runProbe(false, window) || !runProbe(true, bare))
            return;
    }
}

bool StartupBench::runProbe(bool bareWindow, Samples &samples)
{
    QStringList arguments{probe};
    if (bareWindow)
        arguments << QStringLiteral("--bare");
    const ChildRun run = runChild(arguments, {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
    if (!run.succeeded) {
        failure = QStringLiteral("the start-up probe failed");
        return false;
    }
    samples.milliseconds << run.wallSeconds * 1000;
    samples.peakMiB << run.peakMiB;
    return true;
}

void StartupBench::report(ResultTable &table) const
{
    const QString row = QStringLiteral("Start-up to window shown, empty port list (offscreen)");
    if (!failure.isEmpty()) {
        table.addFailure(row, QStringLiteral("none"), failure);
        return;
    }
    const double ms = median(window.milliseconds);
    const double bareMs = median(bare.milliseconds);
    table.addInfo(row, QStringLiteral("%1 ms (empty QMainWindow: %2 ms; ratio %3)")
                           .arg(ms, 0, 'f', 1)
                           .arg(bareMs, 0, 'f', 1)
                           .arg(ms / bareMs, 0, 'f', 2));
    table.addInfo(QStringLiteral("Start-up peak memory"),
                  QStringLiteral("%1 MiB (empty QMainWindow: %2 MiB)")
                      .arg(median(window.peakMiB), 0, 'f', 1)
                      .arg(median(bare.peakMiB), 0, 'f', 1));
}
