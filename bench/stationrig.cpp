#include "stationrig.h"

#include "configuration.h"
#include "samples.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace {
const int startTimeoutMs = 10000;
const int stopTimeoutMs = 15000;
// How often a wait looks whether it is over; every moment the bench measures
// is taken where it happens, not here.
const int checkIntervalMs = 20;
// morlank-cli's status after SIGTERM.
const int stoppedBySignal = 143;
const QString slotPrefix = QStringLiteral("slot");
const int firstLookMs = 1500;
// Generous: a unit in a fixture takes about 7 s from one arrival to the next.
const int timeoutPerUnitMs = 30000;
} // namespace

StationRig::StationRig()
{
    connect(&station, &QProcess::readyReadStandardOutput, this, &StationRig::readStationOutput);
    connect(&station, &QProcess::readyReadStandardError, this, &StationRig::readStationStates);
    connect(&station, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [this] {
        if (!stopping && failed.isEmpty())
            failed = QStringLiteral("morlank-cli watch ended before the bench was done");
    });
}

StationRig::~StationRig()
{
    stopping = true;
    station.kill();
    station.waitForFinished();
}

bool StationRig::start(const Setup &setup)
{
    rigSetup = setup;
    const QString links = scratch.filePath(QStringLiteral("links"));
    const QString configuration = scratch.filePath(QStringLiteral("commands.conf"));
    if (!scratch.isValid() || !writeConfiguration(configuration, setup.commands) || !QDir().mkpath(links)) {
        failed = QStringLiteral("cannot write the scratch folder");
        return false;
    }
    QStringList options{QStringLiteral("--unplugged"), QStringLiteral("--log"), commandLogPath()};
    if (setup.ownAdapters)
        options << QStringLiteral("--links") << links;
    units = std::make_unique<SimulatedFleet>(setup.slotCount, options);
    devicePaths = units->portNames();
    if (devicePaths.isEmpty()) {
        failed = QStringLiteral("morlank-devsim did not start %1 devices").arg(setup.slotCount);
        return false;
    }
    if (!startStation(configuration))
        return false;
    if (waitUntil([this] { return lastShown.size() == rigSetup.slotCount; }, startTimeoutMs)) {
        // A unit plugged before the station's first look at its ports counts
        // as there at the start, not as come with its adapter: the first
        // look is made at once, and again every half second.
        if (rigSetup.ownAdapters)
            idle(firstLookMs);
        return true;
    }
    if (failed.isEmpty())
        failed = QStringLiteral("the station did not show its slots");
    return false;
}

// Every slot named, so the station shows each from the start under the name
// its records carry.
bool StationRig::startStation(const QString &configuration)
{
    // An order names its own file, a release of the same commands.
    QStringList arguments{QStringLiteral("watch"), QStringLiteral("--json")};
    if (!rigSetup.watchOptions.contains(QStringLiteral("--order")))
        arguments << configuration;
    for (int slot = 1; slot <= rigSetup.slotCount; ++slot)
        arguments << QStringLiteral("--slot") << slotPrefix + QString::number(slot) + '=' + devicePaths.at(slot - 1);
    station.setWorkingDirectory(scratch.path());
    station.start(QStringLiteral(MORLANK_CLI), arguments + rigSetup.watchOptions);
    if (station.waitForStarted(startTimeoutMs))
        return true;
    failed = QStringLiteral("morlank-cli watch did not start");
    return false;
}

QString StationRig::serve(const Plan &served)
{
    plan = served;
    slotStates = QVector<SlotState>(rigSetup.slotCount + 1);
    plugged.clear();
    firstPlug = lastRecord = -1;
    // A slot already empty takes its first unit without a state shown anew.
    for (int slot = 1; slot <= rigSetup.slotCount; ++slot)
        shown(slot, lastState(slot));
    const bool finished = waitUntil(
        [this] { return std::all_of(slotStates.begin() + 1, slotStates.end(), [](const SlotState &s) { return s.done; }); },
        (plan.unitsPerSlot + 1) * timeoutPerUnitMs);
    slotStates.clear();
    return !failed.isEmpty() ? failed : finished ? QString() : QStringLiteral("the units were not all served in time");
}

QString StationRig::run(const Setup &setup, const Plan &plan)
{
    if (!start(setup))
        return failed;
    const QString failure = serve(plan);
    return !failure.isEmpty() ? failure : stop() ? QString() : failed;
}

const QVector<StationRig::Arrival> &StationRig::arrivals() const
{
    return plugged;
}

double StationRig::wallSeconds() const
{
    return lastRecord - firstPlug;
}

qint64 StationRig::plug(int slot)
{
    if (!slotStates.isEmpty()) {
        slotStates[slot].plugged = true;
        slotStates[slot].busySeen = false;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    units->send("plug " + QByteArray::number(slot));
    if (firstPlug < 0)
        firstPlug = monotonicSeconds();
    plugged << Arrival{slot, now};
    return now;
}

QString StationRig::emptyState() const
{
    return rigSetup.ownAdapters ? QStringLiteral("empty (absent)") : QStringLiteral("empty");
}

QString StationRig::lastState(int slot) const
{
    return lastShown.value(slot);
}

bool StationRig::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [&] {
        if (!stopping && units && !units->isRunning() && failed.isEmpty())
            failed = QStringLiteral("morlank-devsim ended before the bench was done");
        if (done() || !failed.isEmpty() || waited.hasExpired(timeoutMs))
            loop.quit();
    });
    check.start(checkIntervalMs);
    if (!done() && failed.isEmpty())
        loop.exec();
    return done() && failed.isEmpty();
}

void StationRig::idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool StationRig::stop()
{
    stopping = true;
    station.terminate();
    const bool ended = station.waitForFinished(stopTimeoutMs);
    units.reset();
    if (ended && station.exitStatus() == QProcess::NormalExit && station.exitCode() == stoppedBySignal)
        return true;
    if (failed.isEmpty())
        failed = QStringLiteral("morlank-cli watch did not stop cleanly on SIGTERM (status %1)")
                     .arg(station.exitCode());
    return false;
}

qint64 StationRig::stationProcessId() const
{
    return station.processId();
}

QString StationRig::commandLogPath() const
{
    return scratch.filePath(QStringLiteral("devsim.log"));
}

// The link's name when the unit brings its adapter, else the line's path.
QString StationRig::commandLogName(int slot) const
{
    return rigSetup.ownAdapters ? slotPrefix + QString::number(slot) : devicePaths.value(slot - 1);
}

QString StationRig::failure() const
{
    return failed;
}

void StationRig::readStationOutput()
{
    while (station.canReadLine()) {
        const QJsonObject record = QJsonDocument::fromJson(station.readLine()).object();
        const int slot = slotNumber(record.value(QStringLiteral("slot")).toString());
        if (slot == 0) {
            failed = QStringLiteral("morlank-cli watch printed a record of no slot of the rig");
            return;
        }
        recorded(slot, record);
    }
}

// "slot3  programming 20 commands": the slot, two spaces, the state.
void StationRig::readStationStates()
{
    station.setReadChannel(QProcess::StandardError);
    while (station.canReadLine()) {
        const QString line = QString::fromLocal8Bit(station.readLine()).trimmed();
        const int slot = slotNumber(line.section(QStringLiteral("  "), 0, 0));
        if (slot == 0)
            continue; // a message, such as the one that follows SIGTERM
        lastShown.insert(slot, line.section(QStringLiteral("  "), 1, 1));
        shown(slot, lastShown.value(slot));
    }
    station.setReadChannel(QProcess::StandardOutput);
}

void StationRig::shown(int slot, const QString &state)
{
    if (slotStates.isEmpty())
        return;
    SlotState &s = slotStates[slot];
    if (state != emptyState()) {
        s.busySeen = true;
        return;
    }
    if (!s.leaving || !s.busySeen)
        return;
    s.leaving = false;
    next(slot);
}

void StationRig::recorded(int slot, const QJsonObject &record)
{
    if (slotStates.isEmpty())
        return;
    SlotState &s = slotStates[slot];
    const QString wrong = checked(slot, record);
    if (!wrong.isEmpty()) {
        if (failed.isEmpty())
            failed = wrong;
        return;
    }
    lastRecord = monotonicSeconds();
    ++s.served;
    s.plugged = false;
    units->send("unplug " + QByteArray::number(slot));
    if (plan.awaitDeparture)
        s.leaving = true;
    else
        next(slot);
}

void StationRig::next(int slot)
{
    SlotState &s = slotStates[slot];
    if (s.served == plan.unitsPerSlot) {
        s.done = true;
        return;
    }
    const int wait = plan.maxWaitMs > plan.minWaitMs
        ? QRandomGenerator::global()->bounded(plan.minWaitMs, plan.maxWaitMs + 1)
        : plan.minWaitMs;
    if (wait == 0)
        plug(slot);
    else
        QTimer::singleShot(wait, this, [this, slot] {
            if (!slotStates.isEmpty())
                plug(slot);
        });
}

// What is wrong with a record, if anything: one attempt on a unit the bench
// plugged in, arrived the way the rig makes units arrive, and served whole.
QString StationRig::checked(int slot, const QJsonObject &record) const
{
    const int commands = rigSetup.commands;
    const QString arrivalKind = rigSetup.ownAdapters ? QStringLiteral("port") : QStringLiteral("answer");
    if (!slotStates[slot].plugged)
        return QStringLiteral("slot%1 recorded a unit the bench had not plugged in").arg(slot);
    if (record.value(QStringLiteral("arrival")).toString() != arrivalKind)
        return QStringLiteral("slot%1 recorded a unit arriving by its %2, not by its %3")
            .arg(slot)
            .arg(record.value(QStringLiteral("arrival")).toString(), arrivalKind);
    if (record.value(QStringLiteral("result")).toString() != QLatin1String("ok")
        || record.value(QStringLiteral("attempt")).toInt() != 1
        || record.value(QStringLiteral("sent")).toInt() != commands
        || record.value(QStringLiteral("acknowledged")).toInt() != commands)
        return QStringLiteral("slot%1 recorded a unit %2 at attempt %3 with %4 of %5 commands acknowledged")
            .arg(slot)
            .arg(record.value(QStringLiteral("result")).toString())
            .arg(record.value(QStringLiteral("attempt")).toInt())
            .arg(record.value(QStringLiteral("acknowledged")).toInt())
            .arg(commands);
    return {};
}

int StationRig::slotNumber(const QString &name) const
{
    if (!name.startsWith(slotPrefix))
        return 0;
    const int number = name.mid(slotPrefix.size()).toInt();
    return number >= 1 && number <= rigSetup.slotCount ? number : 0;
}
