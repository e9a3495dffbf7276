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
    // What a handshake on one port found.
    enum class Probe { Device, Silent, NoDevice, Busy, NoPermission, CannotOpen };

    DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    bool findDevice(QString &foundPortName);
    // Tries the one port `name` as findDevice tries each; connected after
    // Probe::Device, closed after anything else.
    Probe connectTo(const QString &name);
    // For watching one port: opens `name` unless the port is open already,
    // then sends the handshake as a scan does. The port stays open whatever
    // the answer, until closePort(); connected after Probe::Device.
    Probe lookAt(const QString &name);
    void closePort();
    // Whether the port went away under the link (its adapter pulled, its
    // line hung up), as the last exchange found.
    bool portLost() const;
    // Whether the last sendCommand() got its bytes out.
    bool lastCommandWritten() const;

    bool sendCommand(QByteArray data);
    bool sendLine(const QString &line);
    bool query(int adjust, const QByteArray &command, QStringList &values);
    // What the device answered to the last sendCommand(); empty when nothing
    // came (or nothing was sent).
    QByteArray lastAnswer() const;
    // For programs that judge every command on its own answer (the window
    // does not): what arrives after a command's answer wait has ended and
    // before the next command is written is never read as the next answer.
    // An exchange that got no answer in time waits a while longer for a late
    // one, which is kept as lateAnswer() and never counts.
    void keepAnswersApart();
    // The late answer to the last exchange; empty when none came.
    QByteArray lateAnswer() const;

    bool getTime(QString &text);
    bool getDate(QString &text);
    bool setTime(QString text);
    bool setDate(QString text);

private:
    void closeConnection();
    Probe answersHandshake(const QString &name);
    Probe exchangeHandshake();
    Probe openFailure(const QString &name) const;
    bool openWithLineSettings();
    void waitUntilQuiet();
    QByteArray collectReply(int pieceWaitMs);
    void setAsideEarlierAnswers();
    bool noAnswer();
    bool readClock(const QByteArray &command, QString &text);
    bool writeClock(const QByteArray &command, const QString &text);

    QString portName;
    bool connected = false;
    QSerialPort port;
    QByteArray answer;
    bool answersApart = false;
    QByteArray late;
    bool written = false;
};

#endif // DEVICELINK_H
