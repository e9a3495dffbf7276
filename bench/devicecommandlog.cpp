#include "devicecommandlog.h"

#include <QDateTime>
#include <QFile>

namespace {
// As the log spells it, the carriage return written out.
const QString handshake = QStringLiteral("ZEL#\\r");
const QString separator = QStringLiteral("  ");
} // namespace

// Each line: time (local, ISO with milliseconds), device, command, answer,
// two spaces apart.
bool DeviceCommandLog::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    entries.clear();
    while (!file.atEnd()) {
        const QString line = QString::fromLocal8Bit(file.readLine());
        const QDateTime at = QDateTime::fromString(line.section(separator, 0, 0), Qt::ISODateWithMs);
        if (at.isValid())
            entries.append({at.toMSecsSinceEpoch(), line.section(separator, 1, 1),
                            line.section(separator, 2, 2) == handshake});
    }
    return true;
}

qint64 DeviceCommandLog::firstConfigurationCommand(const QString &device, qint64 sinceMs) const
{
    for (const Entry &entry : entries) {
        if (entry.device == device && !entry.handshake && entry.atMs >= sinceMs)
            return entry.atMs;
    }
    return -1;
}
