#ifndef SLOTWORKER_H
#define SLOTWORKER_H

#include "serving/unitservice.h"
#include "station/slotview.h"

#include <QJsonObject>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <mutex>

class ClockWriteJob;
class DeviceLink;
class DownloadJob;
class StationControl;

// One port of a station in a thread of its own, for as long as the port is
// there: it owns the port's link, asks the port with the handshake until a
// unit answers, serves the unit, and watches it until it leaves. Everything
// it shows crosses to other threads as a copied SlotView.
class SlotWorker : public QThread, private UnitService::Watcher
{
public:
    // `arrival` is how a unit answering at the first look came: "port" for a
    // port that appeared while the station ran, "start" for one there before.
    SlotWorker(const QString &slot, const QString &port, const QString &arrival, StationControl &control);
    ~SlotWorker() override;

    QString portName() const;
    // The device the port's name led to when the worker was made: the one
    // it serves, whatever other names it has.
    QString device() const;
    // The port left the candidates or the station ends: no new look; a unit
    // in the middle of its job finishes it first.
    void end();
    // As end(), for a port no name of which is a candidate any more: the
    // slot shows it absent.
    void portLeft();
    // Serves the unit in the slot again when its last attempt failed and it
    // is still there.
    void retry();
    bool hasEnded() const;
    SlotView view() const;
    // Records kept since the last call, oldest first; in `lost`, those that
    // could not be written (their result "not recorded").
    QVector<QJsonObject> takeRecords(QVector<QJsonObject> &lost);

protected:
    void run() override;

private:
    void serveUnit(DeviceLink &link, const QString &arrival);
    void watchUntilGone(DeviceLink &link, UnitService *unit);
    bool stillThere(DeviceLink &link) override;
    bool portGone(const DeviceLink &link) const override;
    bool watchesDeparture() const override;
    bool waitForValues(const QString &why) override;
    void working(const ClockWriteJob *clock, const DownloadJob *download) override;
    void finished(const UnitService::Attempt &attempt) override;
    bool endAsked() const;
    bool hasLeft() const;
    bool takeRetry();
    void sleepFor(qint64 ms);

    void showEmpty(const QString &portState);
    void showDetached();
    void showHalted(const QString &reason);
    void show(SlotView::State state, const QString &note = {});

    const QString slotName;
    const QString port;
    StationControl &control;
    const QString firstArrival;
    // Opened by the device's own path, not by a link to it: the lock that
    // keeps two programs off one port is taken by that name.
    const QString opened;
    // The unit being served, in the worker's own thread, and how its last
    // attempt ended.
    const UnitService *serving = nullptr;
    SlotView::State last = SlotView::Empty;
    qint64 valuesPauseMs = 0;

    mutable std::mutex mutex;
    std::condition_variable wake;
    SlotView current;
    const ClockWriteJob *clockJob = nullptr;
    const DownloadJob *downloadJob = nullptr;
    QVector<QJsonObject> records;
    QVector<QJsonObject> notRecorded;
    bool ending = false;
    bool left = false;
    bool retryAsked = false;
    std::atomic<bool> ended{false};
};

#endif // SLOTWORKER_H
