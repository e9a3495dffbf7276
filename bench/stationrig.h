#ifndef STATIONRIG_H
#define STATIONRIG_H

#include "simulatedfleet.h"

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
// simulator's standard input; the rig reads what the station prints: each
// record (--json) and each state a slot shows (standard error, one line per
// change).
class StationRig : public QObject
{
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

    // Units coming and going in every slot, each slot on its own: a unit is
    // plugged in, its record checked (served once, ok, every command
    // acknowledged) and it is pulled out; the next unit follows at once, or
    // once the station has seen the last one go and a random wait has passed.
    struct Plan
    {
        int unitsPerSlot = 1;
        // Wait until the station shows the slot empty before the next unit,
        // and after the last; else the next is plugged in as the last is
        // pulled out.
        bool awaitDeparture = true;
        // Before each unit, a wait drawn evenly from this range.
        int minWaitMs = 0;
        int maxWaitMs = 0;
    };

    struct Arrival
    {
        int slot = 0;
        qint64 pluggedAtMs = 0; // on the wall clock, ms since the epoch
    };

    StationRig();
    ~StationRig() override;

    // Starts both, the units unplugged, and waits until the station shows
    // every slot; false, with the reason in failure(), otherwise.
    bool start(const Setup &setup);
    // Why a unit was not served as planned in time; empty when all were.
    QString serve(const Plan &plan);
    // Starts, serves `plan` and stops: the first failure, if any.
    QString run(const Setup &setup, const Plan &plan);
    // The units of the last plan served, and the seconds from its first
    // plug to its last record.
    const QVector<Arrival> &arrivals() const;
    double wallSeconds() const;
    // The moment of writing, on the wall clock (ms since the epoch), so that
    // it compares with the times in the simulator's log.
    qint64 plug(int slot);

    // The state a slot shows once the station is ready for its next unit:
    // its port gone, or its port there and silent.
    QString emptyState() const;
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

private:
    struct SlotState
    {
        int served = 0;
        bool plugged = false;
        bool leaving = true;  // waiting for the station to show the slot empty
        bool busySeen = true; // shown otherwise since the last plug
        bool done = false;
    };

    bool startStation(const QString &configuration);
    void readStationOutput();
    void readStationStates();
    int slotNumber(const QString &name) const;
    void shown(int slot, const QString &state);
    void recorded(int slot, const QJsonObject &record);
    void next(int slot);
    QString checked(int slot, const QJsonObject &record) const;

    Setup rigSetup;
    QTemporaryDir scratch;
    std::unique_ptr<SimulatedFleet> units;
    QStringList devicePaths;
    QProcess station;
    QHash<int, QString> lastShown;
    bool stopping = false;
    QString failed;
    // The plan being served; no slot states while none is.
    Plan plan;
    QVector<SlotState> slotStates; // by slot number: index 0 unused
    QVector<Arrival> plugged;
    double firstPlug = -1;
    double lastRecord = -1;
};

#endif // STATIONRIG_H
