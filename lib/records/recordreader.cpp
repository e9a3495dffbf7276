#include "records/recordreader.h"

#include "records/recordkeys.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {
// The newest record layout this program reads: the major version of the
// program that writes it.
const int knownMajorVersion = QStringLiteral(MORLANK_VERSION).section(QLatin1Char('.'), 0, 0).toInt();

int digits(const QString &text, int from, int count, bool &ok)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (i >= text.size() || !text.at(i).isDigit() || text.at(i).unicode() > '9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (text.at(i).unicode() - '0');
    }
    return value;
}

bool at(const QString &text, int index, char c)
{
    return index < text.size() && text.at(index) == QLatin1Char(c);
}

bool readResult(const QString &text, Attempt::Result &result)
{
    static const struct
    {
        const char *name;
        Attempt::Result result;
    } names[] = {{"ok", Attempt::Ok},
                 {"failed", Attempt::Failed},
                 {"gone", Attempt::Gone},
                 {"interrupted", Attempt::Interrupted},
                 {"not found", Attempt::NotFound}};
    for (const auto &name : names) {
        if (text == QLatin1String(name.name)) {
            result = name.result;
            return true;
        }
    }
    return false;
}

// An optional text: absent and null read as empty.
bool optionalText(const QJsonObject &record, const QString &key, QString &text)
{
    const QJsonValue value = record.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    text = value.toString();
    return value.isString();
}

bool readFailures(const QJsonValue &value, QVector<Attempt::Failure> &failures)
{
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isArray())
        return false;
    const QJsonArray list = value.toArray();
    for (const QJsonValue &entry : list) {
        const QJsonObject object = entry.toObject();
        const QJsonValue line = object.value(RecordKeys::Failure::line);
        const QJsonValue command = object.value(RecordKeys::Failure::command);
        const double number = line.toDouble(-1);
        if (!entry.isObject() || !command.isString() || number < 0 || number > 1e9 || number != std::floor(number))
            return false;
        Attempt::Failure failure;
        failure.line = int(number);
        failure.command = command.toString();
        failure.answer = object.value(RecordKeys::Failure::answer).toString();
        failures << failure;
    }
    return true;
}

bool fail(QString &reason, const QString &why)
{
    reason = why;
    return false;
}
} // namespace

bool RecordReader::readTime(const QString &text, qint64 &msSinceEpoch, int &offsetMinutes)
{
    bool ok = true;
    const int year = digits(text, 0, 4, ok);
    const int month = digits(text, 5, 2, ok);
    const int day = digits(text, 8, 2, ok);
    const int hour = digits(text, 11, 2, ok);
    const int minute = digits(text, 14, 2, ok);
    const int second = digits(text, 17, 2, ok);
    if (!ok || !at(text, 4, '-') || !at(text, 7, '-') || !at(text, 10, 'T') || !at(text, 13, ':')
        || !at(text, 16, ':') || hour > 23 || minute > 59 || second > 59)
        return false;
    int index = 19;
    int ms = 0;
    if (at(text, index, '.')) {
        const int from = ++index;
        while (index < text.size() && text.at(index).isDigit() && text.at(index).unicode() <= '9' && index - from < 9)
            ++index;
        if (index == from)
            return false;
        // Milliseconds from however many digits there are.
        ms = digits((text.mid(from, index - from) + QStringLiteral("00")), 0, 3, ok);
    }
    int offset = 0;
    if (at(text, index, 'Z')) {
        ++index;
    } else if (at(text, index, '+') || at(text, index, '-')) {
        const int sign = at(text, index, '-') ? -1 : 1;
        const int hours = digits(text, index + 1, 2, ok);
        const int minutes = digits(text, index + 4, 2, ok);
        if (!ok || !at(text, index + 3, ':') || hours > 23 || minutes > 59)
            return false;
        offset = sign * (hours * 60 + minutes);
        index += 6;
    } else {
        return false;
    }
    const QDate date(year, month, day);
    if (!ok || index != text.size() || !date.isValid())
        return false;
    const qint64 days = date.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    msSinceEpoch = ((days * 24 + hour) * 60 + minute - offset) * 60000LL + second * 1000LL + ms;
    offsetMinutes = offset;
    return true;
}

bool RecordReader::read(const QByteArray &text, Attempt &attempt, QString &reason)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return fail(reason, QStringLiteral("not a JSON object"));
    return read(document.object(), attempt, reason);
}

bool RecordReader::read(const QJsonObject &record, Attempt &attempt, QString &reason)
{
    const QString version = record.value(RecordKeys::morlankVersion).toString();
    if (version.section(QLatin1Char('.'), 0, 0).toInt() > knownMajorVersion)
        return fail(reason, QStringLiteral("written by a newer program (morlank %1)").arg(version));

    attempt = Attempt();
    attempt.attemptId = QUuid(record.value(RecordKeys::attemptId).toString());
    int endOffset = 0;
    if (!readTime(record.value(RecordKeys::started).toString(), attempt.startedMs, attempt.offsetMinutes))
        return fail(reason, QStringLiteral("no readable started"));
    if (!readTime(record.value(RecordKeys::time).toString(), attempt.endedMs, endOffset))
        return fail(reason, QStringLiteral("no readable time"));
    if (!readResult(record.value(RecordKeys::result).toString(), attempt.result))
        return fail(reason, QStringLiteral("no result this program knows"));
    const double number = record.value(RecordKeys::attempt).toDouble(0);
    if (number < 1 || number > 1e9 || number != std::floor(number))
        return fail(reason, QStringLiteral("no attempt number"));
    attempt.attempt = int(number);
    const QJsonValue seconds = record.value(RecordKeys::seconds);
    if (!seconds.isDouble() || !(seconds.toDouble() >= 0 && seconds.toDouble() < 1e9))
        return fail(reason, QStringLiteral("no seconds"));
    attempt.milliseconds = std::llround(seconds.toDouble() * 1000);
    if (!record.value(RecordKeys::station).isString() || !record.value(RecordKeys::slot).isString())
        return fail(reason, QStringLiteral("no station or slot"));
    attempt.station = record.value(RecordKeys::station).toString();
    attempt.slot = record.value(RecordKeys::slot).toString();
    if (!optionalText(record, RecordKeys::unit, attempt.unit) || !optionalText(record, RecordKeys::file, attempt.file)
        || !optionalText(record, RecordKeys::fileSha256, attempt.fileSha256)
        || !optionalText(record, RecordKeys::error, attempt.error))
        return fail(reason, QStringLiteral("unit, file or error not a text"));
    if (!readFailures(record.value(RecordKeys::failures), attempt.failures))
        return fail(reason, QStringLiteral("failures not readable"));
    return true;
}
