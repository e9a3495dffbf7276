#include "records/attemptrecord.h"

#include "jobs/jobjson.h"
#include "records/recordkeys.h"

#include <QJsonArray>
#include <QUuid>

#include <cmath>

namespace {
QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// ISO 8601 to the millisecond with the offset from UTC, so that records from
// stations in several zones, from both sides of a clock change, or of
// attempts a second long, sort and compare.
QString timeText(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonValue usbJson(const PortInfo &usb)
{
    if (usb.serialNumber.isEmpty() && usb.vidPid.isEmpty() && usb.manufacturer.isEmpty())
        return QJsonValue();
    return QJsonObject{{RecordKeys::Usb::serialNumber, orNull(usb.serialNumber)},
                       {RecordKeys::Usb::vidPid, orNull(usb.vidPid)},
                       {RecordKeys::Usb::manufacturer, orNull(usb.manufacturer)}};
}
} // namespace

QJsonObject AttemptRecord::toJson() const
{
    const bool ownAdapter = arrival == QLatin1String("port");
    QJsonObject record{
        {RecordKeys::attemptId, attemptId},
        {RecordKeys::time, timeText(ended)},
        {RecordKeys::started, timeText(started)},
        {RecordKeys::station, stationName},
        {RecordKeys::slot, slot},
        {RecordKeys::port, port},
        {RecordKeys::usb, usbJson(usb)},
        {RecordKeys::arrival, orNull(arrival)},
        {RecordKeys::unit, ownAdapter ? orNull(usb.serialNumber) : QJsonValue()},
        {RecordKeys::file, orNull(file)},
        {RecordKeys::fileSha256, orNull(fileSha256)},
        {RecordKeys::commands, commands},
        {RecordKeys::attempt, attempt},
        {RecordKeys::result, result},
        {RecordKeys::sent, download ? download->sent : 0},
        {RecordKeys::acknowledged, download ? download->acknowledged : 0},
        {RecordKeys::seconds, std::round(started.msecsTo(ended) / 10.0) / 100},
        {RecordKeys::failures, download ? JobJson::failures(download->failures) : QJsonArray()},
        {RecordKeys::clock, clock ? QJsonValue(JobJson::clockWrite(*clock)) : QJsonValue()},
        {RecordKeys::values, values},
        {RecordKeys::error, orNull(error)},
        {RecordKeys::morlankVersion, version},
        {RecordKeys::operatorName, orNull(operatorName)},
        {RecordKeys::release, orNull(release)},
        {RecordKeys::order, orNull(order)}};
    return record;
}

QString AttemptRecord::newAttemptId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
