#ifndef ARRIVALDRIVER_H
#define ARRIVALDRIVER_H

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVector>

class StationRig;

// Units coming and going in every slot of a rig, each slot on its own: a
// unit is plugged in, its record checked (served once, ok, every command
// acknowledged) and it is pulled out; the next unit follows at once, or
// once the station has seen the last one go and a random wait has passed.
class ArrivalDriver : public QObject
{
    Q_OBJECT

public:
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

    ArrivalDriver(StationRig &rig, const Plan &plan);

    // False, with the reason, when a unit was not served as planned in time.
    bool run(QString &failure);
    const QVector<Arrival> &arrivals() const;
    // From the first plug to the last record.
    double wallSeconds() const;

private:
    struct Slot
    {
        int served = 0;
        bool plugged = false;
        bool leaving = true;   // waiting for the station to show the slot empty
        bool busySeen = true;  // shown otherwise since the last plug
        bool done = false;
    };

    void shown(int slot, const QString &state);
    void recorded(int slot, const QJsonObject &record);
    void next(int slot);
    void plug(int slot);
    QString checked(int slot, const QJsonObject &record) const;
    bool allDone() const;

    StationRig &rig;
    const Plan plan;
    QVector<Slot> slotStates; // by slot number: index 0 unused
    QVector<Arrival> plugged;
    double firstPlug = -1;
    double lastRecord = -1;
    QString failed;
};

#endif // ARRIVALDRIVER_H
