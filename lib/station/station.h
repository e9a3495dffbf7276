#ifndef STATION_H
#define STATION_H

#include "station/portpoller.h"
#include "station/slotview.h"
#include "station/stationcontrol.h"
#include "station/stationsettings.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <memory>
#include <vector>

class RecordLog;
class LineWatch;
class SlotWorker;

// A production station: watches the candidate ports and serves each unit
// once per attachment, every port in a thread of its own. It prints nothing
// and runs no event loop of its own: it is driven by the timers of the thread
// that made it, and reports every change as data.
class Station : public QObject
{
    Q_OBJECT

public:
    // `log` may be null; it must outlive the station.
    Station(const StationSettings &settings, RecordLog *log, QObject *parent = nullptr);
    ~Station() override;

    void start();
    // As Ctrl-C: no new unit; units in flight finish their command in flight
    // and are recorded as interrupted. finished() follows.
    void stop();
    // Serves the unit in `slot` again when its last attempt failed.
    void retry(const QString &slot);

    bool isRunning() const;
    // Units taken and not yet at their last attempt.
    int unitsInFlight() const;
    QVector<SlotView> slotViews() const;

signals:
    void slotChanged(const SlotView &view);
    // An attempt ended and is in the log (when there is one).
    void attemptRecorded(const QJsonObject &record);
    // An attempt ended but its record could not be written: shown, and
    // counted, as "not recorded" (its result), never as done.
    void attemptNotRecorded(const QJsonObject &record);
    // The station takes no new units any more, and why.
    void halted(const QString &reason);
    // What the operator should know that stops nothing: the log was moved or
    // removed, and the records go on at its path.
    void noticed(const QString &message);
    // Every unit taken has finished and every port is closed.
    void finished();

private:
    struct Slot
    {
        QString name;
        SlotView shown;
        std::unique_ptr<SlotWorker> worker;
    };

    void adopt(const QStringList &ports);
    void collect();
    void collect(Slot &slot);
    void endWhenDone();
    Slot &slotFor(const QString &port);
    QString slotName(const QString &port) const;

    StationControl control;
    // While a release runs on a line: whether it was revoked.
    std::unique_ptr<LineWatch> lineWatch;
    PortPoller poller;
    std::vector<Slot> slotList;
    QTimer collectTimer;
    bool running = false;
    bool ending = false;
    bool haltShown = false;
    bool firstLook = true;
};

#endif // STATION_H
