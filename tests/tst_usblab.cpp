#include "adapterend.h"
#include "usblab.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {
const QString cli = QStringLiteral(MORLANK_CLI_REAL);
const QByteArray configuration = "ZEL#A=1\nZEL#B=2\nZEL#C=3\nZEL#D=4\n";

QJsonObject parsed(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QVector<QJsonObject> jsonLines(const QString &path)
{
    QFile file(path);
    QVector<QJsonObject> records;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                records << parsed(line);
        }
    }
    return records;
}
} // namespace

// The programs on a real kernel's USB stack: FTDI adapters plugged into and
// pulled out of a guest's xHCI ports, named by the guest's udev.
class UsbLabTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void portsNameTheAdapter();
    void watchServesSlotsByPath();
    void unitPulledMidDownloadIsGone();

private:
    QString writeShared(const QString &name, const QByteArray &contents);
    AdapterEnd &end(int port, const QStringList &arguments = {});
    // Plugs an adapter with a unit behind it.
    void plug(int port, const QString &serial, const QString &driver = QStringLiteral("usb-serial"));
    void pull(int port);
    // morlank-cli watch in the guest, its records in a log in the share.
    int watch(const QString &log, const QString &arguments);
    QVector<QJsonObject> records(const QString &log, int count, int ms = 120000);

    UsbLab lab;
    std::map<int, std::unique_ptr<AdapterEnd>> ends;
    QSet<int> plugged;
};

void UsbLabTest::initTestCase()
{
    QString error;
    if (!lab.start(error))
        QFAIL(qPrintable(QStringLiteral("the USB lab cannot start: ") + error));
}

// Every test leaves the ports empty, the far ends gone.
void UsbLabTest::cleanup()
{
    for (const int port : plugged)
        lab.pull(port);
    plugged.clear();
    ends.clear();
    lab.run(QStringLiteral("pkill -TERM -x morlank-cli; true"));
}

QString UsbLabTest::writeShared(const QString &name, const QByteArray &contents)
{
    const QString path = lab.shareFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

AdapterEnd &UsbLabTest::end(int port, const QStringList &arguments)
{
    auto &slot = ends[port];
    if (!slot)
        slot = std::make_unique<AdapterEnd>(lab.farEndSocket(port), arguments);
    return *slot;
}

void UsbLabTest::plug(int port, const QString &serial, const QString &driver)
{
    AdapterEnd &far = end(port);
    QVERIFY(far.isJoined());
    QVERIFY(far.plugUnit());
    QVERIFY2(lab.plug(port, serial, driver), qPrintable(QStringLiteral("port %1 never showed its adapter").arg(port)));
    plugged << port;
}

void UsbLabTest::pull(int port)
{
    QVERIFY(lab.pull(port));
    plugged.remove(port);
    QVERIFY(end(port).pullUnit());
}

int UsbLabTest::watch(const QString &log, const QString &arguments)
{
    return lab.startCommand(QStringLiteral("%1 watch %2 --log %3 --quiet %4")
                                .arg(cli, writeShared(QStringLiteral("station.conf"), configuration), log, arguments));
}

QVector<QJsonObject> UsbLabTest::records(const QString &log, int count, int ms)
{
    QVector<QJsonObject> found;
    [[maybe_unused]] const bool all = QTest::qWaitFor([&] { return (found = jsonLines(log)).size() >= count; }, ms);
    return found;
}

void UsbLabTest::portsNameTheAdapter()
{
    plug(1, QStringLiteral("LAB0001"));
    QByteArray output;
    QCOMPARE(lab.run(cli + QStringLiteral(" ports --json"), &output), 0);
    QJsonObject adapter;
    for (const QJsonValue port : parsed(output).value("ports").toArray()) {
        if (port["port"].toString().contains(QLatin1String("ttyUSB")))
            adapter = port.toObject();
    }
    QCOMPARE(adapter["answer"].toString(), QStringLiteral("device"));
    QCOMPARE(adapter["serial_number"].toString(), QStringLiteral("LAB0001"));
    QCOMPARE(adapter["vid_pid"].toString(), QStringLiteral("0403:6001"));
    QCOMPARE(adapter["manufacturer"].toString(), QStringLiteral("QEMU"));

    // A download's record names the same adapter, reached through its by-id
    // name.
    const QString log = lab.shareFolder() + QStringLiteral("/ports.jsonl");
    QCOMPARE(lab.run(QStringLiteral("%1 download %2 --port %3 --log %4 --quiet")
                         .arg(cli, writeShared(QStringLiteral("ports.conf"), configuration), UsbLab::byId("LAB0001"), log)),
             0);
    const QVector<QJsonObject> written = jsonLines(log);
    QCOMPARE(written.size(), 1);
    const QJsonObject usb = written[0]["usb"].toObject();
    QCOMPARE(usb["serial_number"].toString(), QStringLiteral("LAB0001"));
    QCOMPARE(usb["vid_pid"].toString(), QStringLiteral("0403:6001"));
    QCOMPARE(usb["manufacturer"].toString(), QStringLiteral("QEMU"));
}

void UsbLabTest::watchServesSlotsByPath()
{
    const QString log = lab.shareFolder() + QStringLiteral("/slots.jsonl");
    const int station = watch(log, QStringLiteral("--port '/dev/serial/by-path/*' --slot Left=%1 --slot Right=%2 --units 3")
                                       .arg(UsbLab::byPath(1), UsbLab::byPath(2)));
    plug(1, QStringLiteral("UNIT0001"));
    plug(2, QStringLiteral("UNIT0002"));
    QCOMPARE(records(log, 2).size(), 2);
    // The same socket, a new unit.
    pull(1);
    plug(1, QStringLiteral("UNIT0003"));
    const QVector<QJsonObject> written = records(log, 3);
    QCOMPARE(lab.finished(station, 60000), 0);

    QMap<QString, QString> slotOfUnit;
    for (const QJsonObject &record : written) {
        QCOMPARE(record["result"].toString(), QStringLiteral("ok"));
        QCOMPARE(record["arrival"].toString(), QStringLiteral("port"));
        slotOfUnit[record["unit"].toString()] = record["slot"].toString();
    }
    const QMap<QString, QString> expected{
        {"UNIT0001", "Left"}, {"UNIT0002", "Right"}, {"UNIT0003", "Left"}};
    QCOMPARE(slotOfUnit, expected);
    QCOMPARE(end(1).configurationCommands(), 8);
    QCOMPARE(end(2).configurationCommands(), 4);
}

void UsbLabTest::unitPulledMidDownloadIsGone()
{
    QByteArray longer;
    for (int i = 1; i <= 30; ++i)
        longer += "ZEL#LINE=" + QByteArray::number(i) + '\n';
    const QString log = lab.shareFolder() + QStringLiteral("/gone.jsonl");
    const int station = lab.startCommand(QStringLiteral("%1 watch %2 --port '/dev/serial/by-path/*' --units 2 --log %3 --quiet")
                                             .arg(cli, writeShared(QStringLiteral("long.conf"), longer), log));
    plug(3, QStringLiteral("HALFWAY1"));
    QVERIFY(end(3).waitForConfigurationCommands(3, 60000));
    pull(3);
    QCOMPARE(records(log, 1).size(), 1);
    plug(3, QStringLiteral("NEXT0001"));
    const QVector<QJsonObject> written = records(log, 2);
    QCOMPARE(lab.finished(station, 120000), 1);

    QCOMPARE(written.size(), 2);
    QCOMPARE(written[0]["unit"].toString(), QStringLiteral("HALFWAY1"));
    QCOMPARE(written[0]["result"].toString(), QStringLiteral("gone"));
    const int sent = written[0]["sent"].toInt();
    QVERIFY2(sent >= 3 && sent < 30, qPrintable(QString::number(sent)));
    QCOMPARE(written[1]["unit"].toString(), QStringLiteral("NEXT0001"));
    QCOMPARE(written[1]["result"].toString(), QStringLiteral("ok"));
    QCOMPARE(written[1]["acknowledged"].toInt(), 30);
}

QTEST_MAIN(UsbLabTest)
#include "tst_usblab.moc"
