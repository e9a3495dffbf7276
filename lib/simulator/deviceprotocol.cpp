#include "simulator/deviceprotocol.h"

#include <QCalendar>

namespace {
const QByteArray prefix = QByteArrayLiteral("ZEL#");
const QByteArray acknowledgement = QByteArrayLiteral("OK");
const QByteArray refusal = QByteArrayLiteral("ERROR");
const QString timeFormat = QStringLiteral("\"hh:mm:ss\"");
const QString dateFormat = QStringLiteral("\"dd/MM/yyyy\"");
} // namespace

DeviceProtocol::DeviceProtocol()
    : DeviceProtocol(Settings())
{
}

DeviceProtocol::DeviceProtocol(const Settings &s)
    : settings(s)
    , clockOffsetMs(qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000)
{
    // Qt 5 fills in its table of calendars on first use without a lock, and
    // devices of a fleet answer clock reads from threads of their own: filled
    // in here, where the device is made, so no reading comes out empty.
    QCalendar();
}

Reply DeviceProtocol::reply(const QByteArray &command)
{
    ++commandCount;
    if (settings.silent)
        return Replies::none();
    const QByteArray bytes = refuses(command) ? line(refusal) : answer(command);
    if (bytes.isEmpty())
        return Replies::none();
    return Replies::after(delayFor(command), bytes);
}

// A wall clock in no time zone, as a device keeps it: counted from the
// computer's UTC, it never falls into an hour that daylight saving skips.
QDateTime DeviceProtocol::clock() const
{
    return QDateTime::currentDateTimeUtc().addMSecs(clockOffsetMs);
}

bool DeviceProtocol::refuses(const QByteArray &command) const
{
    if (!settings.refusedText.isEmpty() && command.contains(settings.refusedText))
        return true;
    return settings.refuseEvery > 0 && commandCount % settings.refuseEvery == 0;
}

int DeviceProtocol::delayFor(const QByteArray &command) const
{
    for (const DelayedAnswer &delayed : settings.delayedAnswers) {
        if (command.contains(delayed.text))
            return delayed.delayMs;
    }
    return settings.replyDelayMs;
}

QByteArray DeviceProtocol::answer(const QByteArray &command)
{
    const int start = command.indexOf(prefix);
    if (start < 0) {
        // An empty line is what a person pressing Enter sends: no answer.
        return command.trimmed().isEmpty() ? QByteArray() : line(refusal);
    }
    QByteArray body = command.mid(start + prefix.size());
    if (body.endsWith('\r'))
        body.chop(1);

    if (body == "TIME=?")
        return clockReading("TIME", timeFormat);
    if (body == "DATE=?")
        return clockReading("DATE", dateFormat);
    if (body.startsWith("TIME="))
        return setTime(body.mid(5));
    if (body.startsWith("DATE="))
        return setDate(body.mid(5));
    return line(acknowledgement);
}

QByteArray DeviceProtocol::clockReading(const QByteArray &name, const QString &format) const
{
    const QByteArray value = clock().toString(format).toLatin1();
    return line('+' + name + '=' + value) + line(acknowledgement);
}

QByteArray DeviceProtocol::setTime(const QByteArray &text)
{
    const QTime time = QTime::fromString(QString::fromLatin1(text), timeFormat);
    if (!time.isValid())
        return line(refusal);
    setClock(QDateTime(clock().date(), time, Qt::UTC));
    return line(acknowledgement);
}

QByteArray DeviceProtocol::setDate(const QByteArray &text)
{
    const QDate date = QDate::fromString(QString::fromLatin1(text), dateFormat);
    if (!date.isValid())
        return line(refusal);
    setClock(QDateTime(date, clock().time(), Qt::UTC));
    return line(acknowledgement);
}

void DeviceProtocol::setClock(const QDateTime &dateTime)
{
    clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(dateTime);
}

QByteArray DeviceProtocol::line(const QByteArray &text) const
{
    return text + settings.lineEnd;
}
