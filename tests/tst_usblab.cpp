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
const QString labWindow = QStringLiteral(MORLANK_LAB_WINDOW);
const QString labStation = QStringLiteral(MORLANK_LAB_STATION);
const QString devsim = QStringLiteral(MORLANK_DEVSIM);
// A port in the guest that never answers, outside every pattern: the
// station's first look is done once it shows it empty.
const QString silentPort = QStringLiteral("/tmp/looked/slot1");
const QByteArray configuration = "ZEL#A=1\nZEL#B=2\nZEL#C=3\nZEL#D=4\n";

QJsonObject parsed(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// The records in brief, for a failure to show.
QByteArray shown(const QVector<QJsonObject> &records)
{
    QStringList lines;
    for (const QJsonObject &record : records) {
        lines << QStringList{record["started"].toString(), record["slot"].toString().right(7),
                             record["arrival"].toString(), record["unit"].toString(QStringLiteral("null")),
                             QStringLiteral("usb:%1/%2").arg(record["usb"]["serial_number"].toString(),
                                                             record["usb"]["vid_pid"].toString()),
                             record["result"].toString(), QString::number(record["sent"].toInt())}
                     .join(QLatin1Char(' '));
    }
    return lines.join(QStringLiteral("; ")).toUtf8();
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
    void vidPidLeavesAnotherAdapterAlone();
    void usbSerialBindsEachAdapterToItsRow();
    void unitUnderBothNamesIsServedOnce();
    void windowFindsTheAdapterAndPrograms();
    void windowLosesTheAdapterMidway();
    void stationWindowServesAUnitPluggedIn();

private:
    QString writeShared(const QString &name, const QByteArray &contents);
    AdapterEnd &end(int port, const QStringList &arguments = {});
    // Plugs an adapter with a unit behind it.
    void plug(int port, const QString &serial, const QString &driver = QStringLiteral("usb-serial"));
    // Plugs an adapter with nothing behind it.
    void plugEmpty(int port, const QString &serial);
    void pull(int port);
    // morlank-cli watch in the guest, its records in a log in the share.
    int watch(const QString &log, const QString &arguments);
    // Whether the station started as `command` has looked at its ports
    // once, `silent` shown empty: a unit plugged after it is one that came.
    bool lookedOnce(int command, const QString &silent = silentPort);
    QVector<QJsonObject> records(const QString &log, int count, int ms = 120000);
    // A record log in the share, empty.
    QString freshLog(const QString &name);

    UsbLab lab;
    std::map<int, std::unique_ptr<AdapterEnd>> ends;
    QSet<int> plugged;
};

void UsbLabTest::initTestCase()
{
    QString error;
    if (!lab.start(error))
        QFAIL(qPrintable(QStringLiteral("the USB lab cannot start: ") + error));
    const int silent = lab.startCommand(QStringLiteral("mkdir -p /tmp/looked && exec %1 --silent --links /tmp/looked").arg(devsim));
    QVERIFY2(QTest::qWaitFor([&] { return lab.output(silent).contains(silentPort.toUtf8()); }, 30000),
             lab.errors(silent).constData());
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

void UsbLabTest::plugEmpty(int port, const QString &serial)
{
    QVERIFY(end(port).isJoined());
    QVERIFY(lab.plug(port, serial));
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
    return lab.startCommand(QStringLiteral("%1 watch %2 --log %3 --port %4 %5")
                                .arg(cli, writeShared(QStringLiteral("station.conf"), configuration), log, silentPort,
                                     arguments));
}

bool UsbLabTest::lookedOnce(int command, const QString &silent)
{
    const QByteArray line = silent.toUtf8() + "  empty";
    return QTest::qWaitFor([&] { return lab.errors(command).contains(line); }, 60000);
}

QString UsbLabTest::freshLog(const QString &name)
{
    const QString path = lab.shareFolder() + QLatin1Char('/') + name;
    QFile::remove(path);
    return path;
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
    const QString log = freshLog(QStringLiteral("ports.jsonl"));
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
    const QString log = freshLog(QStringLiteral("slots.jsonl"));
    const int station = watch(log, QStringLiteral("--port '/dev/serial/by-path/*' --slot Left=%1 --slot Right=%2 --units 3")
                                       .arg(UsbLab::byPath(1), UsbLab::byPath(2)));
    QVERIFY(lookedOnce(station));
    plug(1, QStringLiteral("UNIT0001"));
    plug(2, QStringLiteral("UNIT0002"));
    QCOMPARE(records(log, 2).size(), 2);
    // The same socket, a new unit; the one that sat there was served once.
    pull(1);
    QCOMPARE(end(1).configurationCommands(), 4);
    plug(1, QStringLiteral("UNIT0003"));
    const QVector<QJsonObject> written = records(log, 3);
    QCOMPARE(lab.finished(station, 60000), 0);

    QStringList served;
    for (const QJsonObject &record : written) {
        QCOMPARE(record["result"].toString(), QStringLiteral("ok"));
        QCOMPARE(record["arrival"].toString(), QStringLiteral("port"));
        served << record["unit"].toString() + QStringLiteral(" in ") + record["slot"].toString();
    }
    served.sort();
    QVERIFY2(served == QStringList({"UNIT0001 in Left", "UNIT0002 in Right", "UNIT0003 in Left"}),
             shown(written));
    QCOMPARE(end(1).configurationCommands(), 8);
    QCOMPARE(end(2).configurationCommands(), 4);
}

void UsbLabTest::unitPulledMidDownloadIsGone()
{
    QByteArray longer;
    for (int i = 1; i <= 30; ++i)
        longer += "ZEL#LINE=" + QByteArray::number(i) + '\n';
    const QString log = freshLog(QStringLiteral("gone.jsonl"));
    const int station = lab.startCommand(QStringLiteral("%1 watch %2 --port '/dev/serial/by-path/*' --port %3 --units 2 --log %4")
                                             .arg(cli, writeShared(QStringLiteral("long.conf"), longer), silentPort, log));
    QVERIFY(lookedOnce(station));
    plug(3, QStringLiteral("HALFWAY1"));
    QVERIFY(end(3).waitForConfigurationCommands(3, 60000));
    pull(3);
    QCOMPARE(records(log, 1).size(), 1);
    plug(3, QStringLiteral("NEXT0001"));
    const QVector<QJsonObject> written = records(log, 2);
    QCOMPARE(lab.finished(station, 120000), 1);

    QVERIFY2(written.size() == 2 && written[1]["unit"] == "NEXT0001", shown(written));
    QCOMPARE(written[0]["unit"].toString(), QStringLiteral("HALFWAY1"));
    QCOMPARE(written[0]["result"].toString(), QStringLiteral("gone"));
    const int sent = written[0]["sent"].toInt();
    QVERIFY2(sent >= 3 && sent < 30, qPrintable(QString::number(sent)));
    QCOMPARE(written[1]["result"].toString(), QStringLiteral("ok"));
    QCOMPARE(written[1]["acknowledged"].toInt(), 30);
}

void UsbLabTest::vidPidLeavesAnotherAdapterAlone()
{
    // The FTDI driver takes the other id only when told to, as a user does
    // for an adapter it does not know.
    QCOMPARE(lab.run(QStringLiteral("echo 0403 fe72 >/sys/bus/usb-serial/drivers/ftdi_sio/new_id || "
                                    "grep -q fe72 /sys/bus/usb-serial/drivers/ftdi_sio/new_id")),
             0);
    // Plugged while the station watches: each is looked at as udev names it.
    // The silent port has no id to pass: an adapter of the id chosen with
    // nothing behind it shows the first look instead.
    plugEmpty(3, QStringLiteral("NOBODY03"));
    const QString log = freshLog(QStringLiteral("vidpid.jsonl"));
    const int station = watch(log, QStringLiteral("--port '/dev/serial/by-path/*' --vid-pid 0403:6001 --units 2"));
    QVERIFY(lookedOnce(station, UsbLab::byPath(3)));
    plug(2, QStringLiteral("OTHER001"), QStringLiteral("usb-braille"));
    plug(1, QStringLiteral("CHOSEN01"));
    QVERIFY2(records(log, 1).size() == 1 && jsonLines(log)[0]["unit"] == "CHOSEN01", shown(jsonLines(log)));
    QCOMPARE(end(2).commands(), QStringList());

    // The other adapter was there all along, a serial port with its own id.
    QByteArray output;
    QCOMPARE(lab.run(cli + QStringLiteral(" ports --json"), &output), 0);
    QStringList ids;
    for (const QJsonValue port : parsed(output).value("ports").toArray())
        ids << port["vid_pid"].toString();
    QVERIFY2(ids.contains("0403:fe72") && ids.contains("0403:6001"), output.constData());

    // Its socket given an adapter of the id chosen, under the same names,
    // between two of the station's looks (it is held still meanwhile): judged
    // anew, and served.
    QCOMPARE(lab.run(QStringLiteral("pkill -STOP -x morlank-cli")), 0);
    pull(2);
    plug(2, QStringLiteral("SWAPPED2"));
    QCOMPARE(lab.run(QStringLiteral("pkill -CONT -x morlank-cli")), 0);
    QCOMPARE(lab.finished(station, 120000), 0);
    const QVector<QJsonObject> written = jsonLines(log);
    QVERIFY2(written.size() == 2 && written[1]["unit"] == "SWAPPED2", shown(written));
    QCOMPARE(end(2).configurationCommands(), 4);
}

void UsbLabTest::usbSerialBindsEachAdapterToItsRow()
{
    const QString list = writeShared(QStringLiteral("units.csv"), "usb_serial,NAME\nBOUND002,second\nBOUND001,first\n");
    const QString file = writeShared(QStringLiteral("named.conf"), "ZEL#NAME={{NAME}}\nZEL#B=2\nZEL#C=3\n");
    const QString log = freshLog(QStringLiteral("bound.jsonl"));
    const int station = lab.startCommand(
        QStringLiteral("%1 watch %2 --values %3 --state %4 --port '/dev/serial/by-path/*' --port %5 --units 2 --log %6")
            .arg(cli, file, list, freshLog(QStringLiteral("units.state")), silentPort, log));
    QVERIFY(lookedOnce(station));
    plug(1, QStringLiteral("BOUND001"));
    plug(2, QStringLiteral("BOUND002"));
    QCOMPARE(lab.finished(station, 120000), 0);
    QVERIFY2(end(1).commands().contains("ZEL#NAME=first"), qPrintable(end(1).commands().join(' ')));
    QVERIFY2(end(2).commands().contains("ZEL#NAME=second"), qPrintable(end(2).commands().join(' ')));
}

void UsbLabTest::unitUnderBothNamesIsServedOnce()
{
    const QString log = freshLog(QStringLiteral("twice.jsonl"));
    const int station = watch(log, QStringLiteral("--port '/dev/serial/by-id/*' --port '/dev/serial/by-path/*'"));
    plug(4, QStringLiteral("TWONAMES"));
    QCOMPARE(records(log, 1).size(), 1);
    // It sits in its socket while the station asks whether it is still there.
    const int heard = int(end(4).commands().size());
    QVERIFY(QTest::qWaitFor([&] { return end(4).commands().size() >= heard + 3; }, 30000));
    QCOMPARE(lab.run(QStringLiteral("pkill -TERM -x morlank-cli")), 0);
    QCOMPARE(lab.finished(station, 60000), 143);
    QCOMPARE(jsonLines(log).size(), 1);
    QCOMPARE(end(4).configurationCommands(), 4);
}

void UsbLabTest::windowFindsTheAdapterAndPrograms()
{
    plug(1, QStringLiteral("WINDOW01"));
    QByteArray output;
    QCOMPARE(lab.run(QStringLiteral("%1 %2").arg(labWindow, writeShared(QStringLiteral("window.conf"), configuration)), &output), 0);
    QVERIFY2(output.contains("port: ttyUSB"), output.constData());
    QVERIFY2(output.contains(">Connected<"), output.constData());
    QVERIFY2(output.contains("message: successful download.\nprogress: 4/4\n"), output.constData());
    QCOMPARE(end(1).configurationCommands(), 4);
}

void UsbLabTest::windowLosesTheAdapterMidway()
{
    QByteArray longer;
    for (int i = 1; i <= 20; ++i)
        longer += "ZEL#LINE=" + QByteArray::number(i) + '\n';
    plug(2, QStringLiteral("WINDOW02"));
    const int window = lab.startCommand(QStringLiteral("%1 %2").arg(labWindow, writeShared(QStringLiteral("pulled.conf"), longer)));
    QVERIFY(end(2).waitForConfigurationCommands(2, 120000));
    pull(2);
    QCOMPARE(lab.finished(window, 120000), 0);
    const QByteArray output = lab.output(window);
    QVERIFY2(output.contains("message: error download\nprogress: 20/20\n"), output.constData());
    QVERIFY(end(2).configurationCommands() < 20);
}

void UsbLabTest::stationWindowServesAUnitPluggedIn()
{
    const int window = lab.startCommand(QStringLiteral("%1 %2 %3 --port '/dev/serial/by-path/*' --slot Bench=%4")
                                            .arg(labStation, silentPort,
                                                 writeShared(QStringLiteral("tile.conf"), configuration),
                                                 UsbLab::byPath(3)));
    QVERIFY(QTest::qWaitFor([&] { return lab.output(window).startsWith("looked\n"); }, 60000));
    plug(3, QStringLiteral("TILE0001"));
    QCOMPARE(lab.finished(window, 150000), 0);
    const QStringList tile = QString::fromUtf8(lab.output(window)).split(QLatin1Char('\n'));
    QVERIFY2(tile.contains("Bench") && tile.contains("Unit TILE0001"), qPrintable(tile.join('|')));
    QCOMPARE(end(3).configurationCommands(), 4);
}

QTEST_MAIN(UsbLabTest)
#include "tst_usblab.moc"
