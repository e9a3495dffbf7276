#ifndef DEVICEPROTOCOL_H
#define DEVICEPROTOCOL_H

#include "simulator/simulateddevice.h"

#include <QByteArray>
#include <QDateTime>
#include <QVector>

// What the simulated device answers. It acknowledges every "ZEL#" command
// with "OK", keeps a clock of its own that can be read and set, and can be
// told to misbehave the ways a tester needs.
class DeviceProtocol
{
public:
    struct Settings
    {
        struct DelayedAnswer
        {
            QByteArray text;
            int delayMs = 0;
        };

        QByteArray lineEnd = QByteArrayLiteral("\n\r");
        int replyDelayMs = 0;
        // A command holding `text` is answered after `delayMs` instead of
        // replyDelayMs; the first match wins.
        QVector<DelayedAnswer> delayedAnswers;
        QByteArray refusedText; // commands holding it are refused
        int refuseEvery = 0;    // refuse every nth command; 0 refuses none
        bool silent = false;
    };

    using DelayedAnswer = Settings::DelayedAnswer;

    DeviceProtocol();
    explicit DeviceProtocol(const Settings &settings);

    Reply reply(const QByteArray &command);
    QDateTime clock() const;

private:
    bool refuses(const QByteArray &command) const;
    int delayFor(const QByteArray &command) const;
    QByteArray answer(const QByteArray &command);
    QByteArray clockReading(const QByteArray &name, const QString &format) const;
    QByteArray setTime(const QByteArray &text);
    QByteArray setDate(const QByteArray &text);
    void setClock(const QDateTime &dateTime);
    QByteArray line(const QByteArray &text) const;

    Settings settings;
    qint64 clockOffsetMs; // the device's clock, relative to the computer's UTC
    int commandCount = 0;
};

#endif // DEVICEPROTOCOL_H
