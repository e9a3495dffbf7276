#ifndef COMMANDLOG_H
#define COMMANDLOG_H

#include "simulateddevice.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// One line per command received: the time it came, the command and the
// answer, with control characters spelled out.
class CommandLog
{
public:
    // "-" is standard output. A log that was never opened records nothing.
    bool open(const QString &fileName);
    QString errorString() const;

    void record(const QByteArray &command, const Reply &reply);

private:
    QFile file;
};

#endif // COMMANDLOG_H
