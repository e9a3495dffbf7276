#include "connectedlink.h"
#include "simulator/chosenportlist.h"

#include <QtTest>

#include <memory>

namespace {
const int replyLimit = 64 * 1024;

SimulatedDevice::Responder handshakeThen(const Reply &reply)
{
    return [reply](const QByteArray &command) {
        return command == "ZEL#\r" ? Replies::now("OK\n\r") : reply;
    };
}
} // namespace

class LinkFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void streamingPortIsPassedOver_data();
    void streamingPortIsPassedOver();
    void streamingDuringCommandsEndsEachLine();
    void oversizedAndOddReplies_data();
    void oversizedAndOddReplies();
    void nulRepliesToAQuery();
    void deviceGoneBeforeTheClock();

private:
    std::unique_ptr<DeviceLink> link;
};

void LinkFaultsTest::streamingPortIsPassedOver_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("intervalMs");

    QTest::newRow("never silent for 100 ms") << QByteArray("x") << 5;
    QTest::newRow("a flood") << QByteArray(4096, 'x') << 1;
}

void LinkFaultsTest::streamingPortIsPassedOver()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, intervalMs);

    SimulatedDevice chatter;
    chatter.startStream(chunk, intervalMs);
    SimulatedDevice device(handshakeThen(Replies::none()));
    setChosenPortNames({chatter.portName(), device.portName()});

    DeviceLink link;
    QString name;
    QVERIFY(link.findDevice(name));
    QCOMPARE(name, device.portName());
}

void LinkFaultsTest::streamingDuringCommandsEndsEachLine()
{
    SimulatedDevice device(handshakeThen(Replies::none()));
    link = connectedLink(device);
    QVERIFY(link);
    device.startStream("noise ", 5);
    QVERIFY(!link->sendLine(QStringLiteral("ZEL#A\r")));
    QVERIFY(!link->sendLine(QStringLiteral("ZEL#B\r")));
    QCOMPARE(device.received(), QByteArray("ZEL#A\rZEL#B\r"));
    // Once the line is quiet again, commands go through as before.
    device.stopStream();
    device.setResponder(handshakeThen(Replies::now("OK\n\r")));
    QVERIFY(link->sendLine(QStringLiteral("ZEL#C\r")));
}

void LinkFaultsTest::oversizedAndOddReplies_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<bool>("acknowledged");

    const QByteArray filler(replyLimit + 1024, 'x');
    QTest::newRow("OK within the bound of a huge reply") << Replies::now("OK" + filler) << true;
    QTest::newRow("OK only beyond the bound") << Replies::now(filler + "OK") << false;
    QTest::newRow("NUL bytes only") << Replies::now(QByteArray(32, '\0')) << false;
    QTest::newRow("OK between NUL bytes") << Replies::now(QByteArray("\0\0OK\0", 5)) << true;
    QTest::newRow("OK split across two pieces") << Reply{{0, "xO"}, {30, "Kx"}} << true;
}

void LinkFaultsTest::oversizedAndOddReplies()
{
    QFETCH(Reply, reply);
    QFETCH(bool, acknowledged);

    SimulatedDevice device(handshakeThen(reply));
    link = connectedLink(device);
    QVERIFY(link);
    QCOMPARE(link->sendLine(QStringLiteral("ZEL#A\r")), acknowledged);
}

void LinkFaultsTest::nulRepliesToAQuery()
{
    SimulatedDevice device(handshakeThen(Replies::now(QByteArray("\0\0OK\n\r+TIME=1\n\r", 15))));
    link = connectedLink(device);
    QVERIFY(link);
    QStringList values{"stale"};
    QString text = QStringLiteral("kept");
    QVERIFY(!link->query(5, "ZEL#TIME=?\r", values));
    QVERIFY(values.isEmpty());
    QVERIFY(!link->getTime(text));
    QCOMPARE(text, QStringLiteral("kept"));
}

void LinkFaultsTest::deviceGoneBeforeTheClock()
{
    SimulatedDevice device(handshakeThen(Replies::now("+TIME=\"01:02:03\"\n\rOK\n\r")));
    link = connectedLink(device);
    QVERIFY(link);
    device.unplug();

    QString text = QStringLiteral("kept");
    QVERIFY(!link->getTime(text));
    QVERIFY(!link->getDate(text));
    QCOMPARE(text, QStringLiteral("kept"));
    QVERIFY(!link->setTime(QStringLiteral("\"01:02:03\"")));
    QVERIFY(!link->setDate(QStringLiteral("\"01/02/2003\"")));
    QVERIFY(!link->sendLine(QStringLiteral("ZEL#A\r")));
}

QTEST_GUILESS_MAIN(LinkFaultsTest)
#include "tst_linkfaults.moc"
