#ifndef COMMANDLOG_H
#define COMMANDLOG_H

#include "simulator/simulateddevice.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <mutex>

// One line per command received: the time it came, the device's path when
// one is given, the command and the answer, with control characters spelled
// out. Devices may record from their own threads at once.
class CommandLog
{
public:
    // "-" is standard output. A log that was never opened records nothing.
    bool open(const QString &fileName);
    QString errorString() const;

    void record(const QString &portName, const QByteArray &command, const Reply &reply);

private:
    std::mutex mutex;
    QFile file;
};

#endif // COMMANDLOG_H
