#include "connectedlink.h"
#include "device/devicelink.h"
#include "simulator/chosenportlist.h"
#include "simulator/simulateddevice.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceLink::Probe)

namespace {
SimulatedDevice::Responder answering(const Reply &reply)
{
    return [reply](const QByteArray &) { return reply; };
}
} // namespace

class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void noPortsGivesFalseAndLeavesNameAlone();
    void handshakeReplies_data();
    void handshakeReplies();
    void firstAnsweringPortWins();
    void bytesFromTheQuietWaitCount();
    void unopenablePortIsSkipped();
    void rescanWhileConnectedFindsTheSamePort();
    void rescanAfterDeviceWentSilent();
    void probeOfOnePort_data();
    void probeOfOnePort();
    void probeOfAPortHeldElsewhere();
};

void DiscoveryTest::noPortsGivesFalseAndLeavesNameAlone()
{
    setChosenPortNames({});
    DeviceLink link;
    QString name = QStringLiteral("untouched");
    QVERIFY(!link.findDevice(name));
    QCOMPARE(name, QStringLiteral("untouched"));
}

void DiscoveryTest::handshakeReplies_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<bool>("found");

    // what counts as an answer
    QTest::newRow("plain OK") << Replies::now("OK\n\r") << true;
    QTest::newRow("OK inside longer text") << Replies::now("ZEL#\n\rREADY, OK?\n\r") << true;
    QTest::newRow("OK on a later line") << Replies::now("hello\r\nxOKx") << true;
    QTest::newRow("lower case ok") << Replies::now("ok\n\r") << false;
    QTest::newRow("something else") << Replies::now("ERROR\n\r") << false;
    // timing of the answer
    QTest::newRow("no answer") << Replies::none() << false;
    QTest::newRow("late but within a second") << Replies::after(700, "OK") << true;
    QTest::newRow("after the first wait") << Replies::after(1300, "OK") << false;
    QTest::newRow("pieces within 100 ms are joined")
        << Reply{{0, "O"}, {40, "K"}, {40, "\n\r"}} << true;
    QTest::newRow("a piece after a longer silence is not")
        << Reply{{0, "O"}, {300, "K\n\r"}} << false;
}

void DiscoveryTest::handshakeReplies()
{
    QFETCH(Reply, reply);
    QFETCH(bool, found);

    SimulatedDevice device(answering(reply));
    setChosenPortNames({device.portName()});
    DeviceLink link;
    QString name;
    QCOMPARE(link.findDevice(name), found);
    QCOMPARE(name, found ? device.portName() : QString());
    QCOMPARE(device.received(), QByteArray("ZEL#\r"));
}

void DiscoveryTest::firstAnsweringPortWins()
{
    SimulatedDevice silent;
    SimulatedDevice first(answering(Replies::now("OK\n\r")));
    SimulatedDevice second(answering(Replies::now("OK\n\r")));
    setChosenPortNames({silent.portName(), first.portName(), second.portName()});

    DeviceLink link;
    QString name;
    QVERIFY(link.findDevice(name));
    QCOMPARE(name, first.portName());
    QCOMPARE(silent.received(), QByteArray("ZEL#\r"));
    QCOMPARE(first.received(), QByteArray("ZEL#\r"));
    QVERIFY(second.received().isEmpty());
}

void DiscoveryTest::bytesFromTheQuietWaitCount()
{
    // The device says OK as soon as the line opens, and answers the
    // handshake itself without it.
    SimulatedDevice device(answering(Replies::now("READY\n\r")));
    setChosenPortNames({device.portName()});
    device.send(Replies::now("OK\n\r"));

    DeviceLink link;
    QString name;
    QVERIFY(link.findDevice(name));
    QCOMPARE(name, device.portName());
}

void DiscoveryTest::unopenablePortIsSkipped()
{
    SimulatedDevice busy(answering(Replies::now("OK\n\r")));
    QSerialPort holder(busy.portName());
    QVERIFY(holder.open(QIODevice::ReadWrite)); // held by another program
    SimulatedDevice device(answering(Replies::now("OK\n\r")));
    setChosenPortNames({absentPortName(), busy.portName(), device.portName()});

    DeviceLink link;
    QString name;
    QVERIFY(link.findDevice(name));
    QCOMPARE(name, device.portName());
    QVERIFY(busy.received().isEmpty());
}

void DiscoveryTest::rescanWhileConnectedFindsTheSamePort()
{
    SimulatedDevice device(answering(Replies::now("OK\n\r")));
    setChosenPortNames({device.portName()});
    DeviceLink link;
    QString name;
    QVERIFY(link.findDevice(name));
    name.clear();
    // The open port must be released first, or the second open is refused.
    QVERIFY(link.findDevice(name));
    QCOMPARE(name, device.portName());
    QCOMPARE(device.received(), QByteArray("ZEL#\rZEL#\r"));
}

void DiscoveryTest::rescanAfterDeviceWentSilent()
{
    SimulatedDevice device(answering(Replies::now("OK\n\r")));
    setChosenPortNames({device.portName()});
    DeviceLink link;
    QString name;
    QVERIFY(link.findDevice(name));
    device.setResponder({});
    QVERIFY(!link.findDevice(name));
    QCOMPARE(name, device.portName());
    // Not connected any more: a line goes nowhere.
    device.clearReceived();
    QVERIFY(!link.sendLine(QStringLiteral("ZEL#X\r")));
    QVERIFY(device.received().isEmpty());
}

void DiscoveryTest::probeOfOnePort_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<DeviceLink::Probe>("probe");

    QTest::newRow("device") << Replies::now("OK\n\r") << DeviceLink::Probe::Device;
    QTest::newRow("silent") << Replies::none() << DeviceLink::Probe::Silent;
    QTest::newRow("no device") << Replies::now("ERROR\n\r") << DeviceLink::Probe::NoDevice;
}

void DiscoveryTest::probeOfOnePort()
{
    QFETCH(Reply, reply);
    QFETCH(DeviceLink::Probe, probe);

    SimulatedDevice device(answering(reply));
    DeviceLink link;
    QCOMPARE(link.connectTo(device.portName()), probe);
    QCOMPARE(device.received(), QByteArray("ZEL#\r"));
    // Connected only to a device: a line goes out after the handshake.
    QCOMPARE(link.sendLine(QStringLiteral("ZEL#X\r")), probe == DeviceLink::Probe::Device);
    QCOMPARE(device.received().size(), probe == DeviceLink::Probe::Device ? 11 : 5);
}

void DiscoveryTest::probeOfAPortHeldElsewhere()
{
    SimulatedDevice device(answering(Replies::now("OK\n\r")));
    {
        QSerialPort holder(device.portName());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        DeviceLink link;
        QCOMPARE(link.connectTo(device.portName()), DeviceLink::Probe::Busy);
        QCOMPARE(link.connectTo(absentPortName()), DeviceLink::Probe::CannotOpen);
    }
    // Released, the port is the device's again.
    DeviceLink link;
    QCOMPARE(link.connectTo(device.portName()), DeviceLink::Probe::Device);
    QVERIFY(device.received() == "ZEL#\r");
}

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
