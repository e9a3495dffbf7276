#ifndef STATIONRIG_H
#define STATIONRIG_H

#include "conffiles.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>
#include <memory>

// A station under test: morlank-devsim serving units in numbered slots and
// morlank-cli watch serving them, each in a process of its own, in a scratch
// folder of their own. Units are plugged in and pulled out through the
// simulator's standard input; what the station prints comes back as signals
// by slot number: each record (--json) and each state a slot shows (standard
// error, one line per change).
class StationRig : public QObject
{
    Q_OBJECT

public:
    struct Setup
    {
        int slotCount = 1;
        // Each unit brings its own adapter, a port that appears and goes;
        // else a fixture: fixed ports that are silent while their slot is empty.
        bool ownAdapters = true;
        int commands = 3;
        // Added to morlank-cli watch's; a relative path lands in the scratch folder.
        QStringList watchOptions;
    };

    StationRig(const QString &cliPath, const QString &devsimPath);
    ~StationRig() override;

    // Starts both, the units unplugged, and waits until the station shows
    // every slot; false, with the reason in failure(), otherwise.
    bool start(const Setup &setup);
    const Setup &setup() const;
    // The moment of writing, on the wall clock (ms since the epoch), so that
    // it compares with the times in the simulator's log.
    qint64 plug(int slot);
    void unplug(int slot);

    // The state a slot shows once the station is ready for its next unit:
    // its port gone, or its port there and silent.
    QString emptyState() const;
    // How the station's records say a unit came.
    QString arrivalKind() const;
    QString lastState(int slot) const;

    // Runs the event loop until `done` holds; false when a process ended or
    // `timeoutMs` passed first.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // Runs the event loop for `ms`.
    void idle(int ms);
    // SIGTERM to the station, as an operator ends a shift; false when it did
    // not end as a station stopped by that signal does.
    bool stop();

    qint64 stationProcessId() const;
    QString commandLogPath() const;
    // The name the simulator's log gives the device in `slot`.
    QString commandLogName(int slot) const;
    QString failure() const;

signals:
    void recorded(int slot, const QJsonObject &record);
    void slotShown(int slot, const QString &state);

private:
    bool startSimulator();
    bool startStation();
    void readSimulator();
    void readStationOutput();
    void readStationStates();
    void processEnded(const QString &program);
    int slotNumber(const QString &name) const;
    void send(const QByteArray &command);

    const QString cli;
    const QString devsim;
    Setup rigSetup;
    QTemporaryDir scratch;
    std::unique_ptr<ConfFiles> configuration;
    QProcess simulator;
    QProcess station;
    QStringList devicePaths;
    QHash<int, QString> shown;
    bool stopping = false;
    QString failed;
};

#endif // STATIONRIG_H
