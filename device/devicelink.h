#ifndef DEVICELINK_H
#define DEVICELINK_H

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <QStringList>

// The one road to the device: finds it on the serial ports with a fixed
// handshake, then exchanges line commands with it. Every operation blocks
// until its answer is complete or a wait has timed out.
class DeviceLink
{
public:
    DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    bool findDevice(QString &foundPortName);

    bool sendCommand(QByteArray data);
    bool sendLine(const QString &line);
    bool query(int adjust, const QByteArray &command, QStringList &values);

    bool getTime(QString &text);
    bool getDate(QString &text);
    bool setTime(QString text);
    bool setDate(QString text);

private:
    bool answersHandshake(const QString &name);
    bool openWithLineSettings();
    void waitUntilQuiet();
    QByteArray collectReply(int pieceWaitMs);
    bool readClock(const QByteArray &command, QString &text);
    bool writeClock(const QByteArray &command, const QString &text);

    QString portName;
    bool connected = false;
    QSerialPort port;
};

#endif // DEVICELINK_H
