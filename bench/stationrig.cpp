#include "stationrig.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

namespace {
const int startTimeoutMs = 10000;
const int stopTimeoutMs = 15000;
// How often a wait looks whether it is over; every moment the bench measures
// is taken where it happens, not here.
const int checkIntervalMs = 20;
// morlank-cli's status after SIGTERM.
const int stoppedBySignal = 143;
const QString slotPrefix = QStringLiteral("slot");
} // namespace

StationRig::StationRig(const QString &cliPath, const QString &devsimPath)
    : cli(cliPath)
    , devsim(devsimPath)
{
    simulator.setStandardErrorFile(QProcess::nullDevice());
    connect(&simulator, &QProcess::readyReadStandardOutput, this, &StationRig::readSimulator);
    connect(&station, &QProcess::readyReadStandardOutput, this, &StationRig::readStationOutput);
    connect(&station, &QProcess::readyReadStandardError, this, &StationRig::readStationStates);
    const auto finished = qOverload<int, QProcess::ExitStatus>(&QProcess::finished);
    connect(&simulator, finished, this, [this] { processEnded(QStringLiteral("morlank-devsim")); });
    connect(&station, finished, this, [this] { processEnded(QStringLiteral("morlank-cli watch")); });
}

StationRig::~StationRig()
{
    stopping = true;
    for (QProcess *process : {&station, &simulator}) {
        process->kill();
        process->waitForFinished();
    }
}

bool StationRig::start(const Setup &setup)
{
    rigSetup = setup;
    configuration = std::make_unique<ConfFiles>(setup.commands);
    if (!scratch.isValid() || !configuration->isValid()) {
        failed = QStringLiteral("cannot write the scratch folder");
        return false;
    }
    if (!startSimulator() || !startStation())
        return false;
    if (waitUntil([this] { return shown.size() == rigSetup.slotCount; }, startTimeoutMs))
        return true;
    if (failed.isEmpty())
        failed = QStringLiteral("the station did not show its slots");
    return false;
}

const StationRig::Setup &StationRig::setup() const
{
    return rigSetup;
}

bool StationRig::startSimulator()
{
    QStringList arguments{QStringLiteral("--count"), QString::number(rigSetup.slotCount), QStringLiteral("--unplugged"),
                          QStringLiteral("--log"), commandLogPath()};
    if (rigSetup.ownAdapters) {
        const QString links = scratch.filePath(QStringLiteral("links"));
        QDir().mkpath(links);
        arguments << QStringLiteral("--links") << links;
    }
    simulator.start(devsim, arguments);
    const bool started = waitUntil([this] { return devicePaths.size() == rigSetup.slotCount; }, startTimeoutMs);
    if (!started && failed.isEmpty())
        failed = QStringLiteral("morlank-devsim did not start %1 devices").arg(rigSetup.slotCount);
    return started;
}

// Every slot named, so the station shows each from the start under the name
// its records carry.
bool StationRig::startStation()
{
    QStringList arguments{QStringLiteral("watch"), configuration->crLfPath(), QStringLiteral("--json")};
    for (int slot = 1; slot <= rigSetup.slotCount; ++slot)
        arguments << QStringLiteral("--slot") << slotPrefix + QString::number(slot) + '=' + devicePaths.at(slot - 1);
    station.setWorkingDirectory(scratch.path());
    station.start(cli, arguments + rigSetup.watchOptions);
    if (station.waitForStarted(startTimeoutMs))
        return true;
    failed = QStringLiteral("morlank-cli watch did not start");
    return false;
}

qint64 StationRig::plug(int slot)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    send("plug " + QByteArray::number(slot));
    return now;
}

void StationRig::unplug(int slot)
{
    send("unplug " + QByteArray::number(slot));
}

// Written at once, not when the event loop comes round, so that the moment
// taken is the moment the simulator can read it.
void StationRig::send(const QByteArray &command)
{
    simulator.write(command + '\n');
    simulator.waitForBytesWritten(startTimeoutMs);
}

QString StationRig::emptyState() const
{
    return rigSetup.ownAdapters ? QStringLiteral("empty (absent)") : QStringLiteral("empty");
}

QString StationRig::arrivalKind() const
{
    return rigSetup.ownAdapters ? QStringLiteral("port") : QStringLiteral("answer");
}

QString StationRig::lastState(int slot) const
{
    return shown.value(slot);
}

bool StationRig::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [&] {
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
    simulator.terminate();
    simulator.waitForFinished(stopTimeoutMs);
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

// First the paths, one a device; then what was done, which the rig does not
// need: a plug that fails shows as a unit that never gets served.
void StationRig::readSimulator()
{
    while (simulator.canReadLine()) {
        const QString line = QString::fromLocal8Bit(simulator.readLine()).trimmed();
        if (devicePaths.size() < rigSetup.slotCount)
            devicePaths << line;
    }
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
        emit recorded(slot, record);
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
        shown.insert(slot, line.section(QStringLiteral("  "), 1, 1));
        emit slotShown(slot, shown.value(slot));
    }
    station.setReadChannel(QProcess::StandardOutput);
}

void StationRig::processEnded(const QString &program)
{
    if (!stopping && failed.isEmpty())
        failed = program + QStringLiteral(" ended before the bench was done");
}

int StationRig::slotNumber(const QString &name) const
{
    if (!name.startsWith(slotPrefix))
        return 0;
    const int number = name.mid(slotPrefix.size()).toInt();
    return number >= 1 && number <= rigSetup.slotCount ? number : 0;
}
