#include "devicelink.h"

#include "portlist.h"
#include "replyparser.h"

#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>

namespace {
const char handshake[] = "ZEL#\r";
const QByteArray acknowledgement = QByteArrayLiteral("OK");

const int quietWaitMs = 100;
const int firstReplyWaitMs = 1000;
const int pieceWaitMs = 100;
const int queryPieceWaitMs = 50;
const int bytesWrittenWaitMs = 100;

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

// Every character must reach the device as it is: Latin-1 turns what it
// cannot carry into '?', and a NUL would end the write early.
bool isSendable(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(),
                       [](QChar c) { return c.unicode() != 0 && c.unicode() <= 0xFF; });
}
} // namespace

DeviceLink::DeviceLink()
{
    port.setReadBufferSize(replyLimitBytes);
}

bool DeviceLink::findDevice(QString &foundPortName)
{
    if (connected) {
        if (port.isOpen())
            port.close();
        connected = false;
    }
    const QStringList names = availablePortNames();
    for (const QString &name : names) {
        if (answersHandshake(name)) {
            foundPortName = name;
            connected = true;
            portName = name;
            return true;
        }
        port.close();
    }
    return false;
}

bool DeviceLink::answersHandshake(const QString &name)
{
    port.setPortName(name);
    if (!openWithLineSettings())
        return false;
    port.flush();
    waitUntilQuiet();
    port.write(handshake);
    if (!port.waitForReadyRead(firstReplyWaitMs))
        return false;
    return collectReply(pieceWaitMs).contains(acknowledgement);
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

bool DeviceLink::sendCommand(QByteArray data)
{
    waitUntilQuiet();
    port.write(data.constData());
    if (!port.waitForBytesWritten(bytesWrittenWaitMs))
        return false;
    if (!port.waitForReadyRead(firstReplyWaitMs))
        return false;
    return collectReply(pieceWaitMs).contains(acknowledgement);
}

bool DeviceLink::sendLine(const QString &line)
{
    if (!connected || !isSendable(line))
        return false;
    return sendCommand(line.toLatin1());
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
    port.write(command.constData(), command.size());
    if (!port.waitForReadyRead(firstReplyWaitMs))
        return false;
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
