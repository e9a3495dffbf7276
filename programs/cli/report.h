#ifndef REPORT_H
#define REPORT_H

#include "device/devicelink.h"
#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"
#include "values/commandtemplate.h"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

class ClockReadJob;

// The results of one command as data, the same for both forms of output:
// printed as JSON, or as text made from that JSON. Each device list runs in
// the order of `ports`; a port without a job appears as "not found" when it
// was named, else not at all.
namespace Report {
QJsonObject ports(const QStringList &ports, const QVector<DeviceLink::Probe> &probes);
QJsonObject clockGet(const QStringList &ports, const QVector<const ClockReadJob *> &jobs, bool named);
QJsonObject clockSet(const QStringList &ports, const QVector<const ClockWriteJob::Result *> &results, bool named);
QJsonObject download(const QString &file, int commandCount, const QStringList &ports,
                     const QVector<const DownloadJob::Result *> &results, bool named);
QJsonObject dryRun(const QString &file, const QStringList &commands, const QVector<int> &lineNumbers,
                   const QJsonValue &values = {});
// A configuration's placeholders, each with the first line it is on.
QJsonObject placeholders(const QString &file, const QVector<CommandTemplate::Placeholder> &placeholders);

// Each "not found" device of `report` with `probe`: what the probe of its
// port found, by the names ports() gives.
QJsonObject withProbes(QJsonObject report, const QStringList &ports, const QVector<DeviceLink::Probe> &probes);
// Each device of `report` with the per-unit values it got (`given`, by port);
// one left without (`refused`, by port, with the reason) has failed.
QJsonObject withValues(QJsonObject report, const QHash<QString, QJsonValue> &given,
                       const QHash<QString, QString> &refused);
// Why no device answered: the ports by what their probe found, with what to do.
QString noDeviceText(const QStringList &ports, const QVector<DeviceLink::Probe> &probes);

// 1 when a device listed did not succeed or a command cannot be sent, else 0.
int exitStatus(const QJsonObject &report);
QByteArray json(const QJsonObject &report);
QString portsText(const QJsonObject &report);
QString clockGetText(const QJsonObject &report);
QString clockSetText(const QJsonObject &report);
QString downloadText(const QJsonObject &report);
QString dryRunText(const QJsonObject &report);
QString placeholdersText(const QJsonObject &report);
// One attempt of a station: a line, then one per failed command.
QString attemptText(const QJsonObject &record);
} // namespace Report

#endif // REPORT_H
