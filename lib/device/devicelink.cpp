#include "device/devicelink.h"

#include "device/portlist.h"
#include "device/portlocation.h"
#include "device/replyparser.h"
#include "device/sendablecharacters.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {
const char handshake[] = "ZEL#\r";
const QByteArray acknowledgement = QByteArrayLiteral("OK");

const int quietWaitMs = 100;
const int firstReplyWaitMs = 1000;
const int pieceWaitMs = 100;
const int queryPieceWaitMs = 50;
const int bytesWrittenWaitMs = 100;
// How much longer an exchange kept apart listens for an answer that missed
// its wait, so that it is not taken for the next command's.
const int lateAnswerWaitMs = 1000;

// A device or a foreign port that never falls silent must not hold the
// window forever nor fill memory: real answers are far shorter than this.
const int trafficLimitMs = 2000;
const int replyLimitBytes = 64 * 1024;

// A full buffer holds chatter, not an answer; it also keeps the port from
// taking in anything more, so every wait on it would end at once.
bool isFull(const QSerialPort &port)
{
    return port.bytesAvailable() >= replyLimitBytes;
}

// PermissionError covers a port held by another program (its lock file or
// exclusive use) as well as a device file this user may not open; only the
// last is refused by access(2). Root passes access(2) but not a lock. Asked of
// the name the port was opened by: QSerialPort::portName() drops the /dev/ of
// a path, which would leave /dev/pts/3 relative to the working directory.
bool userMayOpen(const QString &name)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(portLocation(name)).constData(), R_OK | W_OK) == 0 || errno != EACCES;
#else
    Q_UNUSED(name)
    return true;
#endif
}
} // namespace

DeviceLink::DeviceLink()
{
    port.setReadBufferSize(replyLimitBytes);
}

bool DeviceLink::findDevice(QString &foundPortName)
{
    closeConnection();
    const QStringList names = availablePortNames();
    for (const QString &name : names) {
        if (connectTo(name) == Probe::Device) {
            foundPortName = name;
            return true;
        }
    }
    return false;
}

DeviceLink::Probe DeviceLink::connectTo(const QString &name)
{
    closeConnection();
    const Probe probe = answersHandshake(name);
    if (probe == Probe::Device) {
        connected = true;
        portName = name;
    } else {
        port.close();
    }
    return probe;
}

void DeviceLink::closeConnection()
{
    if (connected) {
        if (port.isOpen())
            port.close();
        connected = false;
    }
}

DeviceLink::Probe DeviceLink::answersHandshake(const QString &name)
{
    port.setPortName(name);
    if (!openWithLineSettings())
        return openFailure(name);
    return exchangeHandshake();
}

DeviceLink::Probe DeviceLink::exchangeHandshake()
{
    port.flush();
    waitUntilQuiet();
    port.write(handshake);
    if (!port.waitForReadyRead(firstReplyWaitMs))
        return Probe::Silent;
    return collectReply(pieceWaitMs).contains(acknowledgement) ? Probe::Device : Probe::NoDevice;
}

// Reopening a port for every look would toggle its modem lines as often,
// which resets some devices: a watched port is opened once.
DeviceLink::Probe DeviceLink::lookAt(const QString &name)
{
    connected = false;
    if (!port.isOpen()) {
        port.setPortName(name);
        if (!openWithLineSettings()) {
            const Probe failure = openFailure(name);
            port.close();
            return failure;
        }
    }
    port.clearError();
    const Probe probe = exchangeHandshake();
    if (probe == Probe::Device) {
        connected = true;
        portName = name;
    }
    return probe;
}

void DeviceLink::closePort()
{
    connected = false;
    port.close();
}

bool DeviceLink::lastCommandWritten() const
{
    return written;
}

bool DeviceLink::portLost() const
{
    const QSerialPort::SerialPortError error = port.error();
    return error == QSerialPort::ReadError || error == QSerialPort::WriteError
        || error == QSerialPort::ResourceError;
}

DeviceLink::Probe DeviceLink::openFailure(const QString &name) const
{
    if (port.error() != QSerialPort::PermissionError)
        return Probe::CannotOpen;
    return userMayOpen(name) ? Probe::Busy : Probe::NoPermission;
}

bool DeviceLink::openWithLineSettings()
{
    return port.open(QIODevice::ReadWrite)
        && port.setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections)
        && port.setDataBits(QSerialPort::Data8)
        && port.setParity(QSerialPort::NoParity)
        && port.setStopBits(QSerialPort::OneStop)
        && port.setFlowControl(QSerialPort::NoFlowControl);
}

// Waits until the line has been silent for 100 ms. What arrives meanwhile
// stays in the buffer and becomes the start of the next answer, unless the
// buffer fills up: then it is chatter, dropped up to the silence.
void DeviceLink::waitUntilQuiet()
{
    QElapsedTimer traffic;
    traffic.start();
    bool chatter = false;
    for (;;) {
        if (isFull(port)) {
            port.readAll();
            chatter = true;
        }
        if (traffic.hasExpired(trafficLimitMs) || !port.waitForReadyRead(quietWaitMs))
            break;
    }
    if (chatter)
        port.readAll();
}

// Called once the first reply bytes are there: takes everything until the
// line has been silent for `pieceWaitMs`.
QByteArray DeviceLink::collectReply(int pieceWaitMs)
{
    QElapsedTimer traffic;
    traffic.start();
    QByteArray reply = port.read(replyLimitBytes);
    while (reply.size() < replyLimitBytes && !traffic.hasExpired(trafficLimitMs)
           && port.waitForReadyRead(pieceWaitMs))
        reply += port.read(replyLimitBytes - reply.size());
    return reply;
}

// Bytes that came after the last answer was collected belong to an earlier
// command; kept apart, they are dropped before the next one is written.
void DeviceLink::setAsideEarlierAnswers()
{
    late.clear();
    if (answersApart)
        port.readAll();
}

// An exchange that got no answer in time; kept apart, an answer that comes
// late is still taken, so that it is not read as the next command's.
bool DeviceLink::noAnswer()
{
    if (answersApart && port.waitForReadyRead(lateAnswerWaitMs))
        late = collectReply(pieceWaitMs);
    return false;
}

bool DeviceLink::sendCommand(QByteArray data)
{
    answer.clear();
    waitUntilQuiet();
    setAsideEarlierAnswers();
    port.write(data.constData());
    written = port.waitForBytesWritten(bytesWrittenWaitMs);
    if (!written)
        return noAnswer();
    if (!port.waitForReadyRead(firstReplyWaitMs))
        return noAnswer();
    answer = collectReply(pieceWaitMs);
    return answer.contains(acknowledgement);
}

bool DeviceLink::sendLine(const QString &line)
{
    if (!connected || firstUnsendableIndex(line) >= 0) {
        answer.clear();
        late.clear();
        return false;
    }
    return sendCommand(line.toLatin1());
}

QByteArray DeviceLink::lastAnswer() const
{
    return answer;
}

void DeviceLink::keepAnswersApart()
{
    answersApart = true;
}

QByteArray DeviceLink::lateAnswer() const
{
    return late;
}

bool DeviceLink::query(int adjust, const QByteArray &command, QStringList &values)
{
    values.clear();
    const int headerLength = command.size() - adjust;
    if (headerLength < 1)
        return false;
    // Chatter that filled the buffer while the link was idle is waited out
    // and dropped, so the answer is read as if it had not been there.
    if (isFull(port))
        waitUntilQuiet();
    setAsideEarlierAnswers();
    port.write(command.constData(), command.size());
    if (!port.waitForReadyRead(firstReplyWaitMs))
        return noAnswer();
    const QByteArray answer = collectReply(queryPieceWaitMs);
    if (!answer.contains(acknowledgement))
        return false;
    const int nul = answer.indexOf('\0');
    const QString reply = QString::fromUtf8(nul < 0 ? answer : answer.left(nul));
    qDebug() << reply;
    return parseQueryReply(reply, headerLength, values);
}

bool DeviceLink::getTime(QString &text)
{
    return readClock(QByteArrayLiteral("ZEL#TIME=?\r"), text);
}

bool DeviceLink::getDate(QString &text)
{
    return readClock(QByteArrayLiteral("ZEL#DATE=?\r"), text);
}

bool DeviceLink::setTime(QString text)
{
    return writeClock(QByteArrayLiteral("ZEL#TIME="), text);
}

bool DeviceLink::setDate(QString text)
{
    return writeClock(QByteArrayLiteral("ZEL#DATE="), text);
}

bool DeviceLink::readClock(const QByteArray &command, QString &text)
{
    if (!connected)
        return false;
    QStringList values;
    if (!query(5, command, values) || values.size() != 1)
        return false;
    qDebug() << text;
    text = values.first();
    return true;
}

// Reports whether the device acknowledged, so a refused write is not taken
// for success.
bool DeviceLink::writeClock(const QByteArray &command, const QString &text)
{
    if (!connected)
        return false;
    return sendCommand(command + text.toUtf8() + '\r');
}
