#include "connectedlink.h"

#include <QtTest>

#include <memory>

namespace {
const QByteArray timeQuery("ZEL#TIME=?\r");

QStringList debugMessages;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && qstrcmp(context.category, "default") == 0)
        debugMessages << message;
}

// A device that answers the handshake and then plays `script` in order,
// one reply per command.
SimulatedDevice::Responder scripted(QList<Reply> script)
{
    auto remaining = std::make_shared<QList<Reply>>(std::move(script));
    return [remaining](const QByteArray &command) {
        if (command == "ZEL#\r")
            return Replies::now("OK\n\r");
        return remaining->isEmpty() ? Replies::none() : remaining->takeFirst();
    };
}
} // namespace

class ExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void sendCommandReplies_data();
    void sendCommandReplies();
    void sendCommandStopsAtNul();
    void staleAcknowledgementCounts();
    void busyDeviceIsServedAfterTheQuietWait();
    void lineSettingsOfTheScanAndEveryExchange();
    void queryReplies_data();
    void queryReplies();
    void queryWritesEveryByteAndLogsTheAnswer();
    void queryWithOversizedAdjustSendsNothing();

private:
    std::unique_ptr<DeviceLink> link;
};

void ExchangeTest::sendCommandReplies_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<bool>("acknowledged");

    QTest::newRow("OK") << Replies::now("OK\n\r") << true;
    QTest::newRow("OK among other text") << Replies::now("+CFG=1\n\rOK\n\r") << true;
    QTest::newRow("refused") << Replies::now("ERROR\n\r") << false;
    QTest::newRow("no answer") << Replies::none() << false;
    QTest::newRow("pieces 80 ms apart") << Reply{{0, "O"}, {80, "K\n\r"}} << true;
    QTest::newRow("a piece after 200 ms") << Reply{{0, "O"}, {200, "K\n\r"}} << false;
}

void ExchangeTest::sendCommandReplies()
{
    QFETCH(Reply, reply);
    QFETCH(bool, acknowledged);

    SimulatedDevice device(scripted({reply}));
    link = connectedLink(device);
    QVERIFY(link);
    QCOMPARE(link->sendLine(QStringLiteral("ZEL#CFG=1\r")), acknowledged);
    QCOMPARE(device.received(), QByteArray("ZEL#CFG=1\r"));
}

void ExchangeTest::sendCommandStopsAtNul()
{
    SimulatedDevice device(scripted({}));
    link = connectedLink(device);
    QVERIFY(link);
    QVERIFY(!link->sendCommand(QByteArray("ZEL#A\0B\r", 8)));
    QCOMPARE(device.received(), QByteArray("ZEL#A"));
}

void ExchangeTest::staleAcknowledgementCounts()
{
    // The first answer comes after the first command gave up; it is read
    // with the second answer, which lacks OK.
    SimulatedDevice device(scripted({Replies::after(1100, "OK\n\r"), Replies::now("NO\n\r")}));
    link = connectedLink(device);
    QVERIFY(link);
    QVERIFY(!link->sendLine(QStringLiteral("ZEL#A\r")));
    QVERIFY(link->sendLine(QStringLiteral("ZEL#B\r")));
    QCOMPARE(device.received(), QByteArray("ZEL#A\rZEL#B\r"));
}

void ExchangeTest::busyDeviceIsServedAfterTheQuietWait()
{
    // Acknowledges at once and once more when done, 125 ms later: after the
    // 100 ms of silence that close the answer, within the quiet wait.
    const Reply twice{{0, "OK\n\r"}, {125, "OK\n\r"}};
    SimulatedDevice device(
        scripted({Replies::now("+TIME=7\n\rOK\n\r"), twice, twice, Replies::now("ERROR\n\r")}));
    device.ignoreCommandsWithin(100);
    link = connectedLink(device);
    QVERIFY(link);
    QStringList values;
    QVERIFY(link->query(5, timeQuery, values));
    // A query's answer is closed by 50 ms of silence: without the quiet
    // wait, A would find the device still busy.
    QVERIFY(link->sendLine(QStringLiteral("ZEL#A\r")));
    // The late bytes of the answer to A restart the quiet wait.
    QVERIFY(link->sendLine(QStringLiteral("ZEL#B\r")));
    // They stay in the buffer as the front of the next answer: the late OK
    // to B is read with C's refusal.
    QVERIFY(link->sendLine(QStringLiteral("ZEL#C\r")));
    QCOMPARE(device.received(), timeQuery + "ZEL#A\rZEL#B\rZEL#C\r");
}

void ExchangeTest::lineSettingsOfTheScanAndEveryExchange()
{
    SimulatedDevice device(
        scripted({Replies::now("+TIME=7\n\rOK\n\r"), Replies::now("OK\n\r"), Replies::now("OK\n\r")}));
    link = connectedLink(device.portName());
    QVERIFY(link);
    QStringList values;
    QVERIFY(link->query(5, timeQuery, values));
    QVERIFY(link->sendLine(QStringLiteral("ZEL#A\r")));
    QVERIFY(link->setTime(QStringLiteral("\"01:02:03\"")));
    // The handshake, then each command as it arrived.
    const QString line = QStringLiteral("9600 8N1, no flow control");
    QCOMPARE(device.lineSettings(), (QStringList{line, line, line, line}));
}

void ExchangeTest::queryReplies_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<bool>("result");

    QTest::newRow("clock answer") << Replies::now("+TIME=\"12:34:56\"\n\rOK\n\r")
                                  << QStringList{"\"12:34:56\""} << true;
    QTest::newRow("no OK") << Replies::now("+TIME=\"12:34:56\"\n\r") << QStringList{} << false;
    QTest::newRow("no answer") << Replies::none() << QStringList{} << false;
    QTest::newRow("pieces 30 ms apart")
        << Reply{{0, "+TIME=\"12:"}, {30, "34:56\"\n\r"}, {30, "OK\n\r"}}
        << QStringList{"\"12:34:56\""} << true;
    QTest::newRow("OK after 150 ms of silence")
        << Reply{{0, "+TIME=\"12:34:56\"\n\r"}, {150, "OK\n\r"}} << QStringList{} << false;
    QTest::newRow("OK split across two pieces")
        << Reply{{0, "+TIME=1\n\rO"}, {20, "K\n\r"}} << QStringList{"1"} << true;
    QTest::newRow("text stops at a NUL")
        << Replies::now(QByteArray("+TIME=a\0b\n\rOK\n\r", 16)) << QStringList{} << false;
    QTest::newRow("OK after a NUL still counts")
        << Replies::now(QByteArray("+TIME=a\n\r\0OK\n\r", 15)) << QStringList{"a"} << true;
}

void ExchangeTest::queryReplies()
{
    QFETCH(Reply, reply);
    QFETCH(QStringList, values);
    QFETCH(bool, result);

    SimulatedDevice device(scripted({reply}));
    link = connectedLink(device);
    QVERIFY(link);
    QStringList parsed{"stale"};
    QCOMPARE(link->query(5, timeQuery, parsed), result);
    QCOMPARE(parsed, values);
}

void ExchangeTest::queryWritesEveryByteAndLogsTheAnswer()
{
    const QByteArray command("ZEL#\0IME=?\r", 11);
    SimulatedDevice device(scripted({Replies::now("+TIME=7\n\rOK\n\r"), Replies::now("ERR\n\r")}));
    link = connectedLink(device);
    QVERIFY(link);
    debugMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
    QStringList values;
    const bool answered = link->query(5, command, values);
    const bool refused = !link->query(5, command, values);
    qInstallMessageHandler(previous);

    QVERIFY(answered);
    QVERIFY(refused);
    QCOMPARE(device.received(), command + command);
    // One message for the answer that held OK, none for the refusal.
    QCOMPARE(debugMessages.size(), 1);
    QCOMPARE(debugMessages.first(), QStringLiteral("\"+TIME=7\\n\\rOK\\n\\r\""));
}

void ExchangeTest::queryWithOversizedAdjustSendsNothing()
{
    SimulatedDevice device(scripted({Replies::now("+TIME=7\n\rOK\n\r")}));
    link = connectedLink(device);
    QVERIFY(link);
    QStringList values{"stale"};
    QVERIFY(!link->query(11, timeQuery, values));
    QVERIFY(values.isEmpty());
    QVERIFY(device.received().isEmpty());
}

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
