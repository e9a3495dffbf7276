// The station rows: the real morlank-cli watch serving units that the real
// morlank-devsim plugs in and pulls out on the bench's word, each in a
// process of its own. Each run checks every record, so a failure is never
// timed. How soon the station starts on a unit that arrives; how fast its
// slots serve: 5 units one after the other in each of 16 slots, every unit
// plugged in as soon as the last one's record came, against the same 5 units
// in 1 slot in the same run, then each variant, the 16 slots again with
// options of its own; and what one process keeps over a shift.
#include "benchgroups.h"
#include "processfigures.h"
#include "resulttable.h"
#include "samples.h"
#include "stationrig.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace {
const int arrivals = 20;
// Ports appear in one slot, one unit after the other. The next comes once
// the station has seen the last go, at least 100 ms on, so that the slot's
// worker is gone, and then at a random moment of the 500 ms between two
// looks at the ports.
const StationRig::Plan appearing{arrivals, true, 100, 600};
// A fixture takes about 4 s to see a unit go (two missed handshakes), so
// four of its slots take turns at once; each unit comes at a random moment
// of the 1.1 s look, once its slot is empty again.
const int answeringSlots = 4;
const StationRig::Plan answering{arrivals / answeringSlots, true, 0, 1200};

// 500 units in 25 slots: the first 50, then 450 more, every one leaving
// before the next comes into its slot.
const int shiftSlots = 25;
const int firstUnitsPerSlot = 2;
const int laterUnitsPerSlot = 18;
const int shiftUnits = shiftSlots * (firstUnitsPerSlot + laterUnitsPerSlot);
// Two looks at the ports after the last unit left: every slot's worker is gone.
const int settleMs = 1000;

const int idleSlots = 32;
const int idleSeconds = 20;
const int firstLookTimeoutMs = 10000;
// Finished units sitting in their fixture, each asked without pause whether
// it is still there.
const int sittingSlots = 8;

// When `device` received its first command other than the handshake at or
// after `sinceMs` (wall clock), in morlank-devsim's log; -1 when it did not.
// Each line: time (local, ISO with milliseconds), device, command (its
// carriage return written out), answer, two spaces apart.
qint64 firstConfigurationCommand(const QStringList &log, const QString &device, qint64 sinceMs)
{
    for (const QString &line : log) {
        const QStringList fields = line.split(QStringLiteral("  "));
        const QDateTime at = QDateTime::fromString(fields.first(), Qt::ISODateWithMs);
        if (at.isValid() && fields.size() > 2 && fields.at(1) == device && fields.at(2) != QLatin1String("ZEL#\\r")
            && at.toMSecsSinceEpoch() >= sinceMs)
            return at.toMSecsSinceEpoch();
    }
    return -1;
}

// From the plug to the first configuration command, as the simulated
// device's log times it; the fewest commands a configuration may have, as
// the reaction ends at the first.
QString reactionOnce(bool ownAdapters, Samples &samples)
{
    StationRig rig;
    const QString failure = rig.run({ownAdapters ? 1 : answeringSlots, ownAdapters, 3, {}},
                                    ownAdapters ? appearing : answering);
    QFile file(rig.commandLogPath());
    if (!failure.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return failure.isEmpty() ? QStringLiteral("cannot read morlank-devsim's log") : failure;
    const QStringList log = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    for (const StationRig::Arrival &arrival : rig.arrivals()) {
        const qint64 first = firstConfigurationCommand(log, rig.commandLogName(arrival.slot), arrival.pluggedAtMs);
        if (first < 0)
            return QStringLiteral("a unit served ok has no configuration command in the device's log");
        samples.add("s", (first - arrival.pluggedAtMs) / 1000.0);
    }
    return {};
}

void reactionRow(ResultTable &table, bool ownAdapters)
{
    const QString what = ownAdapters ? QStringLiteral("port appears (own adapter, 1 slot)")
                                     : QStringLiteral("present port starts answering (fixture, 4 slots)");
    const Samples s = Samples::taken(QStringLiteral("station reaction, %1 arrivals: %2").arg(arrivals).arg(what), 1,
                                     [&](Samples &samples) { return reactionOnce(ownAdapters, samples); });
    QVector<double> seconds = s.values("s");
    std::sort(seconds.begin(), seconds.end());
    table.add(s,
              QStringLiteral("Station reaction, %1: plug to first configuration command, median of %2")
                  .arg(what)
                  .arg(arrivals),
              ownAdapters ? QStringLiteral("≤ 0.7 s") : QStringLiteral("≤ 1.3 s"), s.median("s"),
              QStringLiteral("%1 s (%2–%3 s)")
                  .arg(s.median("s"), 0, 'f', 3)
                  .arg(seconds.value(0), 0, 'f', 2)
                  .arg(seconds.value(seconds.size() - 1), 0, 'f', 2));
}

// Figures taken while the station is idle, every slot empty: at the start,
// after the first units and at the end. As at a real station, every record
// is synced to a log.
QString shiftOnce(ProcessFigures (&figures)[3])
{
    StationRig rig;
    if (!rig.start({shiftSlots, true, 3, {QStringLiteral("--log"), QStringLiteral("records.jsonl")}}))
        return rig.failure();
    rig.idle(settleMs);
    figures[0] = ProcessFigures::of(rig.stationProcessId());
    for (const int units : {firstUnitsPerSlot, laterUnitsPerSlot}) {
        const QString failure = rig.serve({units, true, 0, 0});
        if (!failure.isEmpty())
            return failure;
        rig.idle(settleMs);
        figures[units == firstUnitsPerSlot ? 1 : 2] = ProcessFigures::of(rig.stationProcessId());
    }
    if (!rig.stop())
        return rig.failure();
    const bool complete = std::all_of(figures, figures + 3, [](const ProcessFigures &f) { return f.isComplete(); });
    return complete ? QString() : QStringLiteral("cannot read the station's figures in /proc");
}

void shiftRows(ResultTable &table)
{
    Samples s;
    ProcessFigures at[3]; // at the start, after the first units, at the end
    s.repeat(QStringLiteral("station shift, %1 units in %2 slots").arg(shiftUnits).arg(shiftSlots), 1,
             [&](Samples &) { return shiftOnce(at); });
    table.add(s,
              QStringLiteral("Station shift, %1 units in one process: descriptors and threads once idle, against the start")
                  .arg(shiftUnits),
              QStringLiteral("the same"),
              std::abs(at[2].descriptors - at[0].descriptors) + std::abs(at[2].threads - at[0].threads),
              QStringLiteral("descriptors %1 (start %2), threads %3 (start %4)")
                  .arg(at[2].descriptors)
                  .arg(at[0].descriptors)
                  .arg(at[2].threads)
                  .arg(at[0].threads));
    const double drift = at[2].residentMiB - at[1].residentMiB;
    table.add(s,
              QStringLiteral("Station shift, %1 units: VmRSS once idle, against after the first %2")
                  .arg(shiftUnits)
                  .arg(shiftSlots * firstUnitsPerSlot),
              QStringLiteral("within 2 MiB"), drift,
              QStringLiteral("%1 MiB (%2 MiB; after %3: %4 MiB; start %5 MiB)")
                  .arg(drift, 0, 'f', 2)
                  .arg(at[2].residentMiB, 0, 'f', 1)
                  .arg(shiftSlots * firstUnitsPerSlot)
                  .arg(at[1].residentMiB, 0, 'f', 1)
                  .arg(at[0].residentMiB, 0, 'f', 1));
    table.add(s, QStringLiteral("Station shift: morlank-cli watch CPU time per unit"), QStringLiteral("none"), 0,
              QStringLiteral("%1 ms").arg((at[2].cpuSeconds - at[0].cpuSeconds) / shiftUnits * 1000, 0, 'f', 1));
}

// A fixture of `slotCount` ports, silent (the station asks each about once a
// second) or with a finished unit in each (asked without pause): the share
// of one processor the station takes, in %, for each slot.
QString cpuShareOnce(int slotCount, bool sitting, Samples &samples)
{
    double percent = 0;
    const QString failure = stationCpuShare(slotCount, sitting, {}, idleSeconds, percent);
    if (failure.isEmpty())
        samples.add("%", percent / (sitting ? slotCount : 1));
    return failure;
}

void cpuShareRow(ResultTable &table, bool sitting)
{
    const int slotCount = sitting ? sittingSlots : idleSlots;
    const QString what =
        (sitting ? QStringLiteral("Station, %1 finished units sitting for %2 s: morlank-cli watch CPU time ÷ wall, per slot")
                 : QStringLiteral("Station idle, %1 silent ports for %2 s: morlank-cli watch CPU time ÷ wall"))
            .arg(slotCount)
            .arg(idleSeconds);
    const Samples s =
        Samples::taken(what, 1, [&](Samples &samples) { return cpuShareOnce(slotCount, sitting, samples); });
    table.add(s, what, sitting ? QStringLiteral("< 0.5 %") : QStringLiteral("< 1 %"),
              s.median("%"), QStringLiteral("%1 %").arg(s.median("%"), 0, 'f', 3));
}

// Each run serves 1 and 16 slots, about 30 s each, and every variant.
const int throughputRuns = 3;
const int fullSlots = 16;
const int unitsPerSlot = 5;
const QString plain = QStringLiteral("without");
const QString oneSlot = QStringLiteral("1 slot");

QString serve(int slotCount, const QStringList &watchOptions, double &wall)
{
    StationRig rig;
    // The next unit as soon as the last one's record came.
    const QString failure = rig.run({slotCount, true, throughputCommands, watchOptions}, {unitsPerSlot, false, 0, 0});
    wall = rig.wallSeconds();
    return failure;
}

QString against(const ThroughputVariant &variant)
{
    return variant.against.isEmpty() ? plain : variant.against;
}

// Every figure of one run taken close together, so that the ratios compare
// like with like: 1 slot, then the full station plain and with each variant.
QString throughputOnce(const QVector<ThroughputVariant> &full, Samples &samples)
{
    QHash<QString, double> walls;
    QString failure = serve(1, {}, walls[oneSlot]);
    for (const ThroughputVariant &variant : full) {
        if (failure.isEmpty())
            failure = serve(fullSlots, variant.watchOptions, walls[variant.name]);
    }
    samples.add(oneSlot, walls[oneSlot]);
    for (const ThroughputVariant &variant : full) {
        samples.add(variant.name, walls[variant.name]);
        samples.add(variant.name + QStringLiteral(" ÷"), walls[variant.name] / walls[against(variant)]);
    }
    return failure;
}
} // namespace

QString stationCpuShare(int slotCount, bool sitting, const QStringList &watchOptions, int seconds, double &percent)
{
    StationRig rig;
    // Every slot has been looked at once (the threads are up), or every unit
    // is done.
    const auto allSettled = [&] {
        for (int slot = 1; slot <= slotCount; ++slot) {
            if (!rig.lastState(slot).startsWith(sitting ? QStringLiteral("ok") : rig.emptyState()))
                return false;
        }
        return true;
    };
    const bool started = rig.start({slotCount, false, 3, watchOptions});
    for (int slot = 1; started && sitting && slot <= slotCount; ++slot)
        rig.plug(slot);
    if (!started || !rig.waitUntil(allSettled, firstLookTimeoutMs))
        return rig.failure().isEmpty() ? QStringLiteral("the station did not settle in every slot") : rig.failure();
    const double wallStart = monotonicSeconds();
    const ProcessFigures start = ProcessFigures::of(rig.stationProcessId());
    rig.idle(seconds * 1000);
    const ProcessFigures end = ProcessFigures::of(rig.stationProcessId());
    const double wall = monotonicSeconds() - wallStart;
    if (!rig.stop())
        return rig.failure();
    if (!start.isComplete() || !end.isComplete())
        return QStringLiteral("cannot read the station's figures in /proc");
    percent = (end.cpuSeconds - start.cpuSeconds) / wall * 100;
    return {};
}

void stationRows(ResultTable &table)
{
    reactionRow(table, true);
    reactionRow(table, false);
    // Each unit's value reserved in a state file, synced before its first
    // command: that must not slow the station.
    throughputRows(table, {{QStringLiteral("with --counter"),
                            {QStringLiteral("--counter"), QStringLiteral("SN=000001"), QStringLiteral("--state"),
                             QStringLiteral("values.state")},
                            QStringLiteral("≤ 1.02"),
                            {}}});
    shiftRows(table);
    cpuShareRow(table, false);
    cpuShareRow(table, true);
}

void throughputRows(ResultTable &table, const QVector<ThroughputVariant> &variants)
{
    const QVector<ThroughputVariant> full =
        QVector<ThroughputVariant>{{plain, {}, QStringLiteral("≤ 1.10"), oneSlot}} + variants;
    const Samples s = Samples::taken(QStringLiteral("station throughput"), throughputRuns,
                                     [&](Samples &samples) { return throughputOnce(full, samples); });
    for (const ThroughputVariant &variant : full) {
        const double ratio = s.median(variant.name + QStringLiteral(" ÷"));
        const QString what = variant.name == plain
            ? QStringLiteral("Station throughput, %1 slots × %2 units × %3 commands: wall ÷ 1 slot")
                  .arg(fullSlots)
                  .arg(unitsPerSlot)
                  .arg(throughputCommands)
            : QStringLiteral("Station throughput, %1 slots %2: wall ÷ %3").arg(fullSlots).arg(variant.name, against(variant));
        table.add(s, what, variant.target, ratio,
                  QStringLiteral("%1 (%2 s; %3: %4 s)")
                      .arg(ratio, 0, 'f', 4)
                      .arg(s.median(variant.name), 0, 'f', 2)
                      .arg(against(variant))
                      .arg(s.median(against(variant)), 0, 'f', 2));
    }
}
