#include "cli/report.h"

#include "device/portlist.h"
#include "device/probename.h"
#include "device/sendablecharacters.h"
#include "jobs/clockreadjob.h"
#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"
#include "jobs/jobjson.h"
#include "records/recordkeys.h"
#include "values/assignment.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <cmath>
#include <functional>

namespace {
const QString timeText = QStringLiteral("hh:mm:ss");
const QString dateText = QStringLiteral("dd/MM/yyyy");
const QString dialoutHint = QStringLiteral("join the dialout group (sudo usermod -aG dialout $USER), "
                                           "then log in again");

struct ProbeAdvice
{
    QString probe;
    QString advice;
};

// In the order a technician best checks them.
const ProbeAdvice probeAdvice[] = {
    {QStringLiteral("missing"), QStringLiteral("no such port; check its name")},
    {QStringLiteral("no permission"), dialoutHint},
    {QStringLiteral("busy"), QStringLiteral("another program holds it; close that program")},
    {QStringLiteral("cannot open"), QStringLiteral("the system would not open it")},
    {QStringLiteral("silent"), QStringLiteral("it opened, but nothing answered; check the cable and the power")},
    {QStringLiteral("no device"), QStringLiteral("something answered, but not with OK; is it a Morlank device?")},
};

// Control characters shown as \xHH, so that a NUL or a tab in a command can
// be seen; the rest as it is.
QString visible(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            shown += c;
        else
            shown += QString::asprintf("\\x%02X", unsigned(c.unicode()));
    }
    return shown;
}

// "not found (busy)": a result with what the probe found, where it tells.
QString resultText(const QJsonValue &device)
{
    const QString result = device[QStringLiteral("result")].toString();
    const QJsonValue probe = device[QStringLiteral("probe")];
    return probe.isString() ? QStringLiteral("%1 (%2)").arg(result, probe.toString()) : result;
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString result(bool interrupted, bool ok)
{
    return interrupted ? QStringLiteral("interrupted") : ok ? QStringLiteral("ok") : QStringLiteral("failed");
}

template<typename Job>
QJsonArray devices(const QStringList &ports, const QVector<const Job *> &jobs, bool named,
                   const std::function<QJsonObject(const Job &)> &entry,
                   const QJsonObject &notFound)
{
    QJsonArray list;
    for (int i = 0; i < ports.size(); ++i) {
        QJsonObject device = jobs.value(i) ? entry(*jobs.value(i)) : notFound;
        device.insert(QStringLiteral("port"), ports.at(i));
        if (jobs.value(i) || named)
            list << device;
    }
    return list;
}

QJsonObject downloadEntry(const DownloadJob::Result &r)
{
    return {{"result", result(r.interrupted, r.failures.isEmpty())},
            {"sent", r.sent},
            {"acknowledged", r.acknowledged},
            {"seconds", std::round(r.seconds * 100) / 100},
            {"failures", JobJson::failures(r.failures)}};
}

// The first character that cannot be sent, counted from 1 as an editor
// counts columns; 0 when there is none.
int unsendableColumn(const QString &command)
{
    const qsizetype index = firstUnsendableIndex(command);
    return index < 0 ? 0 : int(QStringView(command).left(index).toUcs4().size()) + 1;
}

// The rows of `lines`, padded to line up the first `columns` cells.
QString table(const QVector<QStringList> &rows, int columns)
{
    QVector<int> widths(columns, 0);
    for (const QStringList &row : rows) {
        for (int i = 0; i < columns && i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row.at(i).size()));
    }
    QString text;
    for (QStringList row : rows) {
        for (int i = 0; i < columns && i + 1 < row.size(); ++i)
            row[i] = row[i].leftJustified(widths[i]);
        text += row.join(QStringLiteral("  ")).trimmed() + QLatin1Char('\n');
    }
    return text;
}

// "ID=A17 SERIAL=000042 (row 4)", or nothing for a unit without values.
QString valuesText(const QJsonValue &values)
{
    return values.isObject() ? Assignment::fromJson(values.toObject()).toText() : QString();
}

QString textOf(const QJsonValue &value, const QString &none = QStringLiteral("-"))
{
    return value.isNull() || value.toString().isEmpty() ? none : value.toString();
}
} // namespace

namespace Report {
QJsonObject ports(const QStringList &ports, const QVector<DeviceLink::Probe> &probes)
{
    QJsonArray list;
    for (int i = 0; i < ports.size(); ++i) {
        const PortInfo info = portInfo(ports.at(i));
        QJsonObject port{{"port", ports.at(i)},
                         {"answer", probeName(probes.value(i), ports.at(i))},
                         {"description", orNull(info.description)},
                         {"manufacturer", orNull(info.manufacturer)},
                         {"serial_number", orNull(info.serialNumber)},
                         {"vid_pid", orNull(info.vidPid)}};
        if (probes.value(i) == DeviceLink::Probe::NoPermission)
            port.insert(QStringLiteral("hint"), dialoutHint);
        list << port;
    }
    return {{"ports", list}};
}

QJsonObject clockGet(const QStringList &ports, const QVector<const ClockReadJob *> &jobs, bool named)
{
    const auto entry = [](const ClockReadJob &job) {
        const ClockReadJob::Result &r = job.result();
        return QJsonObject{{"result", result(r.interrupted, r.time.isValid() && r.date.isValid())},
                           {"time", orNull(r.time.toString(timeText))},
                           {"date", orNull(r.date.toString(dateText))}};
    };
    const QJsonObject notFound{{"result", "not found"}, {"time", QJsonValue()}, {"date", QJsonValue()}};
    return {{"devices", devices<ClockReadJob>(ports, jobs, named, entry, notFound)}};
}

QJsonObject clockSet(const QStringList &ports, const QVector<const ClockWriteJob::Result *> &results, bool named)
{
    const auto entry = [](const ClockWriteJob::Result &r) {
        const bool ok = r.timeAcknowledged && r.dateAcknowledged && r.verified.value_or(true);
        QJsonObject device = JobJson::clockWrite(r);
        device.insert(QStringLiteral("result"), result(r.interrupted, ok));
        return device;
    };
    const QJsonObject notFound{{"result", "not found"},
                               {"time_acknowledged", false},
                               {"date_acknowledged", false},
                               {"verified", QJsonValue()}};
    return {{"devices", devices<ClockWriteJob::Result>(ports, results, named, entry, notFound)}};
}

QJsonObject download(const QString &file, int commandCount, const QStringList &ports,
                     const QVector<const DownloadJob::Result *> &results, bool named)
{
    const QJsonObject notFound{{"result", "not found"}, {"sent", 0},           {"acknowledged", 0},
                               {"seconds", 0},          {"failures", QJsonArray()}};
    return {{"file", QFileInfo(file).absoluteFilePath()},
            {"commands", commandCount},
            {"devices", devices<DownloadJob::Result>(ports, results, named, downloadEntry, notFound)}};
}

QJsonObject dryRun(const QString &file, const QStringList &commands, const QVector<int> &lineNumbers,
                   const QJsonValue &values)
{
    QJsonArray lines;
    for (int i = 0; i < commands.size(); ++i) {
        const int column = unsendableColumn(commands.at(i));
        lines << QJsonObject{{"line", lineNumbers.value(i)},
                             {"command", commands.at(i).chopped(1)},
                             {"sendable", column == 0},
                             {"column", column ? QJsonValue(column) : QJsonValue()}};
    }
    QJsonObject report{{"file", QFileInfo(file).absoluteFilePath()}, {"commands", commands.size()}, {"lines", lines}};
    if (!values.isUndefined())
        report.insert(QStringLiteral("values"), values);
    return report;
}

QJsonObject placeholders(const QString &file, const QVector<CommandTemplate::Placeholder> &placeholders)
{
    QJsonArray list;
    for (const CommandTemplate::Placeholder &placeholder : placeholders)
        list << QJsonObject{{"name", placeholder.name}, {"line", placeholder.line}};
    return {{"file", QFileInfo(file).absoluteFilePath()}, {"placeholders", list}};
}

QJsonObject withValues(QJsonObject report, const QHash<QString, QJsonValue> &given,
                       const QHash<QString, QString> &refused)
{
    QJsonArray devices = report.value(QStringLiteral("devices")).toArray();
    for (int i = 0; i < devices.size(); ++i) {
        QJsonObject device = devices.at(i).toObject();
        const QString port = device.value(QStringLiteral("port")).toString();
        device.insert(QStringLiteral("values"), given.value(port));
        if (refused.contains(port)) {
            device.insert(QStringLiteral("result"), QStringLiteral("failed"));
            device.insert(QStringLiteral("error"), refused.value(port));
        }
        devices.replace(i, device);
    }
    report.insert(QStringLiteral("devices"), devices);
    return report;
}

QJsonObject withProbes(QJsonObject report, const QStringList &ports, const QVector<DeviceLink::Probe> &probes)
{
    QJsonArray devices = report.value(QStringLiteral("devices")).toArray();
    for (int i = 0; i < devices.size(); ++i) {
        QJsonObject device = devices.at(i).toObject();
        const QString port = device.value(QStringLiteral("port")).toString();
        if (device.value(QStringLiteral("result")).toString() == QLatin1String("not found"))
            device.insert(QStringLiteral("probe"), probeName(probes.value(ports.indexOf(port)), port));
        devices.replace(i, device);
    }
    report.insert(QStringLiteral("devices"), devices);
    return report;
}

QString noDeviceText(const QStringList &ports, const QVector<DeviceLink::Probe> &probes)
{
    QString text = QStringLiteral("no device answered the handshake.");
    for (const ProbeAdvice &advice : probeAdvice) {
        QStringList found;
        for (int i = 0; i < ports.size(); ++i) {
            if (probeName(probes.value(i), ports.at(i)) == advice.probe)
                found << ports.at(i);
        }
        if (!found.isEmpty()) {
            text += QStringLiteral("\n  %1: %2 - %3.")
                        .arg(found.join(QStringLiteral(", ")), advice.probe, advice.advice);
        }
    }
    return text;
}

int exitStatus(const QJsonObject &report)
{
    for (const QJsonValue device : report.value(QStringLiteral("devices")).toArray()) {
        if (device[QStringLiteral("result")].toString() != QLatin1String("ok"))
            return 1;
    }
    for (const QJsonValue line : report.value(QStringLiteral("lines")).toArray()) {
        if (!line[QStringLiteral("sendable")].toBool())
            return 1;
    }
    return 0;
}

QByteArray json(const QJsonObject &report)
{
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

QString portsText(const QJsonObject &report)
{
    QVector<QStringList> rows;
    for (const QJsonValue port : report.value(QStringLiteral("ports")).toArray()) {
        QStringList row{port[QStringLiteral("port")].toString(), port[QStringLiteral("answer")].toString()};
        for (const char *key : {"description", "manufacturer", "serial_number", "vid_pid", "hint"}) {
            if (!port[QLatin1String(key)].isNull() && !port[QLatin1String(key)].isUndefined())
                row << port[QLatin1String(key)].toString();
        }
        rows << row;
    }
    return table(rows, 2);
}

QString clockGetText(const QJsonObject &report)
{
    QVector<QStringList> rows;
    for (const QJsonValue device : report.value(QStringLiteral("devices")).toArray()) {
        const QString result = resultText(device);
        rows << QStringList{device[QStringLiteral("port")].toString(), textOf(device[QStringLiteral("time")]),
                            textOf(device[QStringLiteral("date")]),
                            result == QLatin1String("ok") ? QString() : result};
    }
    return table(rows, 3);
}

QString clockSetText(const QJsonObject &report)
{
    const auto said = [](const QJsonValue &acknowledged, const char *what) {
        return QLatin1String(what) + (acknowledged.toBool() ? QStringLiteral(" acknowledged")
                                                            : QStringLiteral(" not acknowledged"));
    };
    QVector<QStringList> rows;
    for (const QJsonValue device : report.value(QStringLiteral("devices")).toArray()) {
        QStringList row{device[QStringLiteral("port")].toString(), resultText(device)};
        if (device[QStringLiteral("written")].isString()) {
            row << QStringLiteral("wrote ") + device[QStringLiteral("written")].toString()
                << said(device[QStringLiteral("time_acknowledged")], "time")
                << said(device[QStringLiteral("date_acknowledged")], "date");
        }
        const QJsonValue verified = device[QStringLiteral("verified")];
        const QJsonValue readBack = device[QStringLiteral("read_back")];
        if (verified.toBool())
            row << QStringLiteral("verified");
        else if (verified.isBool())
            row << (readBack.isString() ? QStringLiteral("differs when read back: ") + readBack.toString()
                                        : QStringLiteral("the clock could not be read back"));
        rows << row;
    }
    return table(rows, 2);
}

QString downloadText(const QJsonObject &report)
{
    QVector<QStringList> rows;
    QString failures;
    const int commands = report.value(QStringLiteral("commands")).toInt();
    for (const QJsonValue device : report.value(QStringLiteral("devices")).toArray()) {
        const QString port = device[QStringLiteral("port")].toString();
        const QString result = device[QStringLiteral("result")].toString();
        if (result == QLatin1String("not found")) {
            rows << QStringList{port, resultText(device)};
            continue;
        }
        QStringList row{port, result,
                        QStringLiteral("%1/%2 acknowledged").arg(device[QStringLiteral("acknowledged")].toInt()).arg(commands),
                        QStringLiteral("%1 s").arg(device[QStringLiteral("seconds")].toDouble(), 0, 'f', 2)};
        const QString values = valuesText(device[QStringLiteral("values")]);
        if (!values.isEmpty())
            row.insert(1, values);
        if (device[QStringLiteral("error")].isString())
            row << device[QStringLiteral("error")].toString();
        rows << row;
        for (const QJsonValue failure : device[QStringLiteral("failures")].toArray()) {
            const QJsonValue answer = failure[QStringLiteral("answer")];
            failures += QStringLiteral("%1 line %2: %3  %4%5\n")
                            .arg(port)
                            .arg(failure[QStringLiteral("line")].toInt())
                            .arg(visible(failure[QStringLiteral("command")].toString()),
                                 failure[QStringLiteral("reason")].toString(),
                                 answer.toString().isEmpty() ? QString()
                                                             : QStringLiteral(": ") + visible(answer.toString()));
        }
    }
    return table(rows, 3) + failures;
}

QString dryRunText(const QJsonObject &report)
{
    const QString values = valuesText(report.value(QStringLiteral("values")));
    QString text = values.isEmpty() ? QString() : QStringLiteral("For the next unit: %1\n").arg(values);
    for (const QJsonValue line : report.value(QStringLiteral("lines")).toArray()) {
        text += QStringLiteral("%1  %2")
                    .arg(line[QStringLiteral("line")].toInt(), 5)
                    .arg(visible(line[QStringLiteral("command")].toString()));
        if (!line[QStringLiteral("sendable")].toBool())
            text += QStringLiteral("  <- not sendable: column %1").arg(line[QStringLiteral("column")].toInt());
        text += QLatin1Char('\n');
    }
    return text;
}

QString placeholdersText(const QJsonObject &report)
{
    QString text = QStringLiteral("%1 needs a value for each placeholder; give them with --values or --counter:\n")
                       .arg(report.value(QStringLiteral("file")).toString());
    for (const QJsonValue placeholder : report.value(QStringLiteral("placeholders")).toArray()) {
        text += QStringLiteral("%1  {{%2}}\n")
                    .arg(placeholder[QStringLiteral("line")].toInt(), 5)
                    .arg(placeholder[QStringLiteral("name")].toString());
    }
    return text;
}

QString attemptText(const QJsonObject &record)
{
    QString unit = textOf(record.value(RecordKeys::unit));
    const QString values = valuesText(record.value(RecordKeys::values));
    if (!values.isEmpty())
        unit += QStringLiteral("  ") + values;
    QString text = QStringLiteral("%1  %2  %3  %4  %5/%6 acknowledged  %7 s")
                       .arg(record.value(RecordKeys::time).toString(),
                            record.value(RecordKeys::slot).toString(), unit,
                            record.value(RecordKeys::result).toString())
                       .arg(record.value(RecordKeys::acknowledged).toInt())
                       .arg(record.value(RecordKeys::commands).toInt())
                       .arg(record.value(RecordKeys::seconds).toDouble(), 0, 'f', 2);
    const int attempt = record.value(RecordKeys::attempt).toInt();
    if (attempt > 1)
        text += QStringLiteral("  attempt %1").arg(attempt);
    if (record.value(RecordKeys::error).isString())
        text += QStringLiteral("  ") + record.value(RecordKeys::error).toString();
    text += QLatin1Char('\n');
    for (const QJsonValue failure : record.value(RecordKeys::failures).toArray()) {
        const QString answer = failure[RecordKeys::Failure::answer].toString();
        const QJsonValue late = failure[RecordKeys::Failure::lateAnswer];
        text += QStringLiteral("  line %1: %2  %3%4%5\n")
                    .arg(failure[RecordKeys::Failure::line].toInt())
                    .arg(failure[RecordKeys::Failure::command].toString(),
                         failure[RecordKeys::Failure::reason].toString(),
                         answer.isEmpty() ? QString() : QStringLiteral(": ") + answer,
                         late.isString() ? QStringLiteral(" (answered late: %1)").arg(late.toString()) : QString());
    }
    return text;
}
} // namespace Report
