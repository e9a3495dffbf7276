#include "records/attemptrecord.h"

#include "jobs/jobjson.h"

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
    return QJsonObject{{"serial_number", orNull(usb.serialNumber)},
                       {"vid_pid", orNull(usb.vidPid)},
                       {"manufacturer", orNull(usb.manufacturer)}};
}
} // namespace

QJsonObject AttemptRecord::toJson() const
{
    const bool ownAdapter = arrival == QLatin1String("port");
    QJsonObject record{
        {"attempt_id", attemptId},
        {"time", timeText(ended)},
        {"started", timeText(started)},
        {"station", stationName},
        {"slot", slot},
        {"port", port},
        {"usb", usbJson(usb)},
        {"arrival", orNull(arrival)},
        {"unit", ownAdapter ? orNull(usb.serialNumber) : QJsonValue()},
        {"file", orNull(file)},
        {"file_sha256", orNull(fileSha256)},
        {"commands", commands},
        {"attempt", attempt},
        {"result", result},
        {"sent", download ? download->sent : 0},
        {"acknowledged", download ? download->acknowledged : 0},
        {"seconds", std::round(started.msecsTo(ended) / 10.0) / 100},
        {"failures", download ? JobJson::failures(download->failures) : QJsonArray()},
        {"clock", clock ? QJsonValue(JobJson::clockWrite(*clock)) : QJsonValue()},
        {"values", values},
        {"error", orNull(error)},
        {"morlank_version", version}};
    return record;
}

QString AttemptRecord::newAttemptId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
