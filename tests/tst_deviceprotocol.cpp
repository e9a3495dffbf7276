#include "connectedlink.h"
#include "simulator/chosenportlist.h"
#include "simulator/deviceprotocol.h"

#include <QtTest>

#include <ctime>

#include <memory>

Q_DECLARE_METATYPE(DeviceProtocol::Settings)

namespace {
const QByteArray lfcr = QByteArrayLiteral("\n\r");
const QByteArray crlf = QByteArrayLiteral("\r\n");

DeviceProtocol::Settings endingLinesWith(const QByteArray &lineEnd)
{
    DeviceProtocol::Settings settings;
    settings.lineEnd = lineEnd;
    return settings;
}

DeviceProtocol::Settings delayingBy(int delayMs)
{
    DeviceProtocol::Settings settings;
    settings.replyDelayMs = delayMs;
    return settings;
}

DeviceProtocol::Settings delayingOn(const QVector<DeviceProtocol::DelayedAnswer> &chosen, int otherDelayMs = 0)
{
    DeviceProtocol::Settings settings;
    settings.delayedAnswers = chosen;
    settings.replyDelayMs = otherDelayMs;
    return settings;
}

DeviceProtocol::Settings refusing(const QByteArray &text, int every = 0)
{
    DeviceProtocol::Settings settings;
    settings.refusedText = text;
    settings.refuseEvery = every;
    return settings;
}

DeviceProtocol::Settings silent()
{
    DeviceProtocol::Settings settings;
    settings.silent = true;
    return settings;
}

bool closeToNow(const QTime &time)
{
    return time.isValid() && qAbs(time.secsTo(QTime::currentTime())) <= 5;
}
} // namespace

// The simulated device's answers, first as bytes, then as the program's own
// DeviceLink sees them over a pseudo-terminal.
class DeviceProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void answerDelay_data();
    void answerDelay();
    void setClockIsReadBack_data();
    void setClockIsReadBack();
    void refusesEveryNth_data();
    void refusesEveryNth();

    void handshake_data();
    void handshake();
    void clockRead_data();
    void clockRead();
    void clockWriteRoundTrip_data();
    void clockWriteRoundTrip();
    void malformedClockRefused_data();
    void malformedClockRefused();
    void refusals_data();
    void refusals();

    void cleanup();

private:
    void serve(const DeviceProtocol::Settings &settings);

    std::unique_ptr<DeviceProtocol> protocol;
    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<DeviceLink> link;
};

void DeviceProtocolTest::serve(const DeviceProtocol::Settings &settings)
{
    protocol = std::make_unique<DeviceProtocol>(settings);
    device = std::make_unique<SimulatedDevice>(
        [this](const QByteArray &command) { return protocol->reply(command); });
    QVERIFY2(device->isOpen(), qPrintable(device->errorString()));
}

void DeviceProtocolTest::cleanup()
{
    link.reset();
    device.reset();
    protocol.reset();
}

void DeviceProtocolTest::replies_data()
{
    QTest::addColumn<DeviceProtocol::Settings>("settings");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    // acknowledged
    QTest::newRow("handshake") << endingLinesWith(lfcr) << QByteArray("ZEL#\r") << QByteArray("OK\n\r");
    QTest::newRow("handshake, CR LF") << endingLinesWith(crlf) << QByteArray("ZEL#\r") << QByteArray("OK\r\n");
    QTest::newRow("settings command") << endingLinesWith(lfcr) << QByteArray("ZEL#BAUD=9600\r")
                                      << QByteArray("OK\n\r");
    QTest::newRow("text before the prefix") << endingLinesWith(lfcr) << QByteArray("  ZEL#CH1=ON\r")
                                            << QByteArray("OK\n\r");
    QTest::newRow("valid time") << endingLinesWith(lfcr) << QByteArray("ZEL#TIME=\"00:00:00\"\r")
                                << QByteArray("OK\n\r");
    QTest::newRow("leap day") << endingLinesWith(crlf) << QByteArray("ZEL#DATE=\"29/02/2028\"\r")
                              << QByteArray("OK\r\n");

    // not a device command
    QTest::newRow("no prefix") << endingLinesWith(lfcr) << QByteArray("HELLO\r") << QByteArray("ERROR\n\r");
    QTest::newRow("lower-case prefix") << endingLinesWith(lfcr) << QByteArray("zel#\r")
                                       << QByteArray("ERROR\n\r");
    QTest::newRow("empty line") << endingLinesWith(lfcr) << QByteArray("\r") << QByteArray();

    // clock values that are refused
    QTest::newRow("hour 24") << endingLinesWith(lfcr) << QByteArray("ZEL#TIME=\"24:00:00\"\r")
                             << QByteArray("ERROR\n\r");
    QTest::newRow("time without quotes") << endingLinesWith(lfcr) << QByteArray("ZEL#TIME=12:00:00\r")
                                         << QByteArray("ERROR\n\r");
    QTest::newRow("time with one-digit fields") << endingLinesWith(lfcr) << QByteArray("ZEL#TIME=\"1:2:3\"\r")
                                                << QByteArray("ERROR\n\r");
    QTest::newRow("31 February") << endingLinesWith(crlf) << QByteArray("ZEL#DATE=\"31/02/2026\"\r")
                                 << QByteArray("ERROR\r\n");
    QTest::newRow("month first") << endingLinesWith(lfcr) << QByteArray("ZEL#DATE=\"12/31/2026\"\r")
                                 << QByteArray("ERROR\n\r");
    QTest::newRow("two-digit year") << endingLinesWith(lfcr) << QByteArray("ZEL#DATE=\"01/02/26\"\r")
                                    << QByteArray("ERROR\n\r");

    // refusals and silence
    QTest::newRow("refused text") << refusing("BAUD") << QByteArray("ZEL#BAUD=9600\r")
                                  << QByteArray("ERROR\n\r");
    QTest::newRow("other text passes") << refusing("BAUD") << QByteArray("ZEL#ECHO=0\r")
                                       << QByteArray("OK\n\r");
    QTest::newRow("refused query has no value") << refusing("TIME") << QByteArray("ZEL#TIME=?\r")
                                                << QByteArray("ERROR\n\r");
    QTest::newRow("silent") << silent() << QByteArray("ZEL#\r") << QByteArray();
}

void DeviceProtocolTest::replies()
{
    QFETCH(DeviceProtocol::Settings, settings);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);

    DeviceProtocol protocol(settings);
    QCOMPARE(Replies::bytes(protocol.reply(command)), answer);
}

void DeviceProtocolTest::answerDelay_data()
{
    QTest::addColumn<DeviceProtocol::Settings>("settings");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("delayMs");

    QTest::newRow("chosen command") << delayingOn({{"TIME=?", 1500}}) << QByteArray("ZEL#TIME=?\r") << 1500;
    QTest::newRow("other command") << delayingOn({{"TIME=?", 1500}}, 200) << QByteArray("ZEL#\r") << 200;
    QTest::newRow("first match wins") << delayingOn({{"ZEL#", 100}, {"TIME", 900}}) << QByteArray("ZEL#TIME=?\r")
                                      << 100;
    QTest::newRow("chosen at once, others late") << delayingOn({{"LED", 0}}, 1000) << QByteArray("ZEL#LED=1\r")
                                                  << 0;
    DeviceProtocol::Settings refusingLate = delayingOn({{"LED", 700}});
    refusingLate.refusedText = "LED";
    QTest::newRow("a refusal comes late too") << refusingLate << QByteArray("ZEL#LED=1\r") << 700;
}

void DeviceProtocolTest::answerDelay()
{
    QFETCH(DeviceProtocol::Settings, settings);
    QFETCH(QByteArray, command);
    QFETCH(int, delayMs);

    const Reply reply = DeviceProtocol(settings).reply(command);
    QCOMPARE(reply.size(), 1);
    QCOMPARE(reply.first().delayMs, delayMs);
}

void DeviceProtocolTest::setClockIsReadBack_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QByteArray>("date");

    QTest::newRow("LF CR") << lfcr << QByteArray("\"10:20:30\"") << QByteArray("\"29/02/2028\"");
    QTest::newRow("CR LF") << crlf << QByteArray("\"00:00:00\"") << QByteArray("\"01/01/2000\"");
}

void DeviceProtocolTest::setClockIsReadBack()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(QByteArray, time);
    QFETCH(QByteArray, date);

    DeviceProtocol protocol(endingLinesWith(lineEnd));
    QCOMPARE(Replies::bytes(protocol.reply("ZEL#TIME=" + time + '\r')), "OK" + lineEnd);
    QCOMPARE(Replies::bytes(protocol.reply("ZEL#DATE=" + date + '\r')), "OK" + lineEnd);
    QCOMPARE(Replies::bytes(protocol.reply("ZEL#TIME=?\r")), "+TIME=" + time + lineEnd + "OK" + lineEnd);
    QCOMPARE(Replies::bytes(protocol.reply("ZEL#DATE=?\r")), "+DATE=" + date + lineEnd + "OK" + lineEnd);
}

void DeviceProtocolTest::refusesEveryNth_data()
{
    QTest::addColumn<int>("every");
    QTest::addColumn<QList<bool>>("acknowledged");

    QTest::newRow("every command") << 1 << QList<bool>{false, false, false};
    QTest::newRow("every 2nd") << 2 << QList<bool>{true, false, true, false, true};
    QTest::newRow("every 3rd") << 3 << QList<bool>{true, true, false, true, true, false, true};
}

void DeviceProtocolTest::refusesEveryNth()
{
    QFETCH(int, every);
    QFETCH(QList<bool>, acknowledged);

    DeviceProtocol protocol(refusing({}, every));
    QList<bool> answers;
    for (int i = 0; i < acknowledged.size(); ++i)
        answers << Replies::bytes(protocol.reply("ZEL#LED=" + QByteArray::number(i) + '\r')).startsWith("OK");
    QCOMPARE(answers, acknowledged);
}

void DeviceProtocolTest::handshake_data()
{
    QTest::addColumn<DeviceProtocol::Settings>("settings");
    QTest::addColumn<bool>("found");

    QTest::newRow("LF CR") << endingLinesWith(lfcr) << true;
    QTest::newRow("CR LF") << endingLinesWith(crlf) << true;
    QTest::newRow("answer within the wait") << delayingBy(300) << true;
    QTest::newRow("answer after the wait") << delayingBy(1500) << false;
    QTest::newRow("another command answered late") << delayingOn({{"TIME=?", 1500}}) << true;
    QTest::newRow("handshake answered late") << delayingOn({{"ZEL#\r", 1500}}) << false;
    QTest::newRow("silent") << silent() << false;
    QTest::newRow("handshake refused by text") << refusing("ZEL#\r") << false;
    QTest::newRow("every command refused") << refusing({}, 1) << false;
}

void DeviceProtocolTest::handshake()
{
    QFETCH(DeviceProtocol::Settings, settings);
    QFETCH(bool, found);

    serve(settings);
    setChosenPortNames({device->portName()});
    DeviceLink link;
    QString portName;
    QCOMPARE(link.findDevice(portName), found);
    QCOMPARE(portName, found ? device->portName() : QString());
}

void DeviceProtocolTest::clockRead_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<QString>("closingQuote");

    QTest::newRow("LF CR keeps the closing quote") << lfcr << QString();
    // The character before the CR is taken for the line end and dropped.
    QTest::newRow("CR LF costs the closing quote") << crlf << QStringLiteral("\"");
}

void DeviceProtocolTest::clockRead()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(QString, closingQuote);

    serve(endingLinesWith(lineEnd));
    link = connectedLink(*device);
    QVERIFY(link);
    QString time;
    QString date;
    QVERIFY(link->getTime(time));
    QVERIFY(link->getDate(date));
    QVERIFY2(closeToNow(QTime::fromString(time + closingQuote, "\"hh:mm:ss\"")), qPrintable(time));
    QVERIFY2(QDate::fromString(date + closingQuote, "\"dd/MM/yyyy\"").isValid(), qPrintable(date));
}

void DeviceProtocolTest::clockWriteRoundTrip_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QByteArray>("zone");

    QTest::newRow("morning") << "\"09:05:03\"" << "\"06/12/2026\"" << QByteArray();
    QTest::newRow("midnight") << "\"00:00:00\"" << "\"01/01/2000\"" << QByteArray();
    QTest::newRow("leap day") << "\"14:30:00\"" << "\"29/02/2028\"" << QByteArray();
    // The device keeps wall-clock time: an hour that daylight saving skips
    // where the computer is, is an hour like any other.
    QTest::newRow("Berlin, the skipped hour") << "\"02:30:00\"" << "\"29/03/2026\"" << QByteArray("Europe/Berlin");
}

void DeviceProtocolTest::clockWriteRoundTrip()
{
    QFETCH(QString, time);
    QFETCH(QString, date);
    QFETCH(QByteArray, zone);

    const QByteArray zoneBefore = qgetenv("TZ");
    const auto restoreZone = qScopeGuard([&] {
        zoneBefore.isNull() ? qunsetenv("TZ") : qputenv("TZ", zoneBefore);
        tzset();
    });
    if (!zone.isEmpty()) {
        qputenv("TZ", zone);
        tzset();
    }
    serve(endingLinesWith(lfcr));
    link = connectedLink(*device);
    QVERIFY(link);
    QVERIFY(link->setTime(time));
    QVERIFY(link->setDate(date));
    QString readTime;
    QString readDate;
    QVERIFY(link->getTime(readTime));
    QVERIFY(link->getDate(readDate));
    // A second may pass between the write and the read.
    const QTime written = QTime::fromString(time, "\"hh:mm:ss\"");
    const int elapsed = written.secsTo(QTime::fromString(readTime, "\"hh:mm:ss\""));
    QVERIFY2(elapsed == 0 || elapsed == 1, qPrintable(readTime));
    QCOMPARE(readDate, date);
}

void DeviceProtocolTest::malformedClockRefused_data()
{
    QTest::addColumn<bool>("isTime");
    QTest::addColumn<QString>("value");

    QTest::newRow("hour 25") << true << "\"25:00:00\"";
    QTest::newRow("time without quotes") << true << "09:05:03";
    QTest::newRow("date as time") << true << "\"06/12/2026\"";
    QTest::newRow("30 February") << false << "\"30/02/2026\"";
    QTest::newRow("time as date") << false << "\"09:05:03\"";
}

void DeviceProtocolTest::malformedClockRefused()
{
    QFETCH(bool, isTime);
    QFETCH(QString, value);

    serve(endingLinesWith(lfcr));
    link = connectedLink(*device);
    QVERIFY(link);
    QVERIFY(link->setTime("\"11:11:11\""));
    QVERIFY(link->setDate("\"11/11/2011\""));
    QVERIFY(!(isTime ? link->setTime(value) : link->setDate(value)));

    // The refused value left the clock as it was.
    QString time;
    QString date;
    QVERIFY(link->getTime(time));
    QVERIFY(link->getDate(date));
    QVERIFY2(time.startsWith("\"11:11:1"), qPrintable(time));
    QCOMPARE(date, QStringLiteral("\"11/11/2011\""));
}

void DeviceProtocolTest::refusals_data()
{
    QTest::addColumn<DeviceProtocol::Settings>("settings");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<bool>>("acknowledged");

    QTest::newRow("by text") << refusing("ALARM")
                             << QStringList{"ZEL#CH1=ON\r", "ZEL#ALARMHI=8.50\r", "ZEL#CH2=OFF\r"}
                             << QList<bool>{true, false, true};
    // The handshake is the first command the device counts.
    QTest::newRow("every 3rd") << refusing({}, 3)
                               << QStringList{"ZEL#A=1\r", "ZEL#B=2\r", "ZEL#C=3\r", "ZEL#D=4\r", "ZEL#E=5\r"}
                               << QList<bool>{true, false, true, true, false};
}

void DeviceProtocolTest::refusals()
{
    QFETCH(DeviceProtocol::Settings, settings);
    QFETCH(QStringList, lines);
    QFETCH(QList<bool>, acknowledged);

    serve(settings);
    link = connectedLink(*device);
    QVERIFY(link);
    QList<bool> answers;
    for (const QString &line : lines)
        answers << link->sendLine(line);
    QCOMPARE(answers, acknowledged);
}

QTEST_GUILESS_MAIN(DeviceProtocolTest)
#include "tst_deviceprotocol.moc"
