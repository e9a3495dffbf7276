#ifndef DEVICECOMMANDLOG_H
#define DEVICECOMMANDLOG_H

#include <QString>
#include <QVector>

// morlank-devsim's log, read back for when each device received each
// command: the device's own account of when a unit got its configuration.
class DeviceCommandLog
{
public:
    // False when the file cannot be read.
    bool read(const QString &path);
    // When `device` received its first command other than the handshake at
    // or after `sinceMs` (wall clock, ms since the epoch); -1 when it did not.
    qint64 firstConfigurationCommand(const QString &device, qint64 sinceMs) const;

private:
    struct Entry
    {
        qint64 atMs = 0;
        QString device;
        bool handshake = false;
    };

    QVector<Entry> entries;
};

#endif // DEVICECOMMANDLOG_H
