#ifndef ATTEMPTRECORD_H
#define ATTEMPTRECORD_H

#include "device/portinfo.h"
#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// One attempt on one device, as the log keeps it and `watch --json` prints
// it: one JSON object.
struct AttemptRecord
{
    // Each attempt its own, so that a record sent twice is stored once.
    QString attemptId = newAttemptId();
    QDateTime started;
    QDateTime ended;
    QString stationName;
    QString slot;
    QString port;
    PortInfo usb;
    // How the unit came: "port" (its port appeared: the adapter is its own),
    // "answer" (a present port started answering) or "start" (it answered
    // when the station started); empty outside a station.
    QString arrival;
    QString file; // empty for a clock job
    QString fileSha256; // of the bytes the commands were read from
    int commands = 0;
    int attempt = 1;
    QString result; // ok, failed, gone, interrupted, not found
    const DownloadJob::Result *download = nullptr;
    const ClockWriteJob::Result *clock = nullptr;
    QJsonValue values;
    QString error; // what kept the unit from being served, if anything
    QString version;
    QString operatorName; // empty is null, as release and order
    QString release;
    QString order;

    QJsonObject toJson() const;
    static QString newAttemptId();
};

#endif // ATTEMPTRECORD_H
