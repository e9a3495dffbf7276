#include "usblab.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QTest>

namespace {
const int ports = 4;
const QString xhciAddress = QStringLiteral("0000:00:10.0");

bool connectWhenThere(QLocalSocket &socket, const QString &path, int ms)
{
    QElapsedTimer clock;
    clock.start();
    do {
        socket.connectToServer(path);
        if (socket.waitForConnected(1000))
            return true;
        QTest::qWait(50);
    } while (clock.elapsed() < ms);
    return false;
}

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

UsbLab::UsbLab()
    : sockets(QStringLiteral("/tmp/usblab-XXXXXX")), share(QStringLiteral("/tmp/usblab-share-XXXXXX"))
{
}

UsbLab::~UsbLab()
{
    stop();
}

QString UsbLab::shareFolder() const
{
    return share.path();
}

QString UsbLab::farEndSocket(int port) const
{
    return sockets.filePath(QStringLiteral("end%1").arg(port));
}

QByteArray UsbLab::console() const
{
    QFile file(sockets.filePath(QStringLiteral("console.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll().right(4000) : QByteArray();
}

bool UsbLab::start(QString &error)
{
    if (!sockets.isValid() || !share.isValid()) {
        error = QStringLiteral("cannot make the lab's folders in /tmp");
        return false;
    }
    QProcess maker;
    maker.start(QStringLiteral(MORLANK_USBLAB_DIR "/make-guest"), {sockets.path()});
    if (!maker.waitForFinished(600000) || maker.exitCode() != 0) {
        error = QStringLiteral("the guest cannot be made: %1%2")
                    .arg(maker.errorString(), QString::fromLocal8Bit(maker.readAllStandardError()));
        return false;
    }

    // KVM only on request: nested under another hypervisor it may open and
    // then never run a single instruction.
    const bool kvm = QProcessEnvironment::systemEnvironment().value(QStringLiteral("MORLANK_USBLAB_KVM")) == "1";
    QStringList arguments = kvm ? QStringList{"-accel", "kvm", "-cpu", "host"} : QStringList{"-accel", "tcg", "-cpu", "max"};
    arguments << "-m" << "1024" << "-smp" << "2" << "-display" << "none" << "-no-reboot" << "-monitor" << "none"
              << "-kernel" << sockets.filePath("vmlinuz") << "-initrd" << sockets.filePath("initramfs.cpio.gz")
              << "-append"
              << QStringLiteral("console=ttyS0 8250.nr_uarts=1 panic=-1 quiet labagent=%1 labshare=%2 labkeep=%3")
                     .arg(QStringLiteral(MORLANK_USBLAB_DIR "/guest-agent"), share.path(),
                          QStringLiteral(MORLANK_USBLAB_KEEP))
              << "-virtfs" << "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap"
              << "-virtfs"
              << QStringLiteral("local,path=%1,mount_tag=lab,security_model=none,multidevs=remap").arg(share.path())
              << "-device" << "qemu-xhci,id=xhci,addr=0x10"
              << "-device" << "virtio-serial-pci"
              << "-chardev" << QStringLiteral("socket,id=control,path=%1,server=on,wait=off").arg(sockets.filePath("control"))
              << "-device" << "virtserialport,chardev=control,name=lab"
              << "-qmp" << QStringLiteral("unix:%1,server=on,wait=off").arg(sockets.filePath("qmp"))
              << "-serial" << QStringLiteral("file:%1").arg(sockets.filePath("console.log"));
    for (int port = 1; port <= ports; ++port)
        arguments << "-chardev" << QStringLiteral("socket,id=end%1,path=%2,server=on,wait=off").arg(port).arg(farEndSocket(port));
    qemu.setProcessChannelMode(QProcess::MergedChannels);
    qemu.start(QStringLiteral("qemu-system-x86_64"), arguments);
    if (!qemu.waitForStarted(10000)) {
        error = QStringLiteral("qemu-system-x86_64 cannot start: %1").arg(qemu.errorString());
        return false;
    }
    if (!connectWhenThere(monitor, sockets.filePath("qmp"), 20000) || !connectWhenThere(control, sockets.filePath("control"), 20000)) {
        error = QStringLiteral("qemu gives no monitor or control port: %1").arg(QString::fromLocal8Bit(qemu.readAll()));
        return false;
    }
    monitor.waitForReadyRead(10000);
    monitor.readAll(); // the greeting
    qmp({{"execute", "qmp_capabilities"}});

    // Booting under TCG on a busy machine takes tens of seconds.
    QElapsedTimer clock;
    clock.start();
    while (!statuses.contains(0) && clock.elapsed() < 300000 && qemu.state() == QProcess::Running)
        readControl(1000);
    if (!statuses.contains(0)) {
        error = QStringLiteral("the guest did not come up; its console said:\n%1%2")
                    .arg(QString::fromUtf8(console()), QString::fromLocal8Bit(qemu.readAll()));
        return false;
    }
    return true;
}

void UsbLab::stop()
{
    if (qemu.state() == QProcess::NotRunning)
        return;
    if (monitor.state() == QLocalSocket::ConnectedState)
        qmp({{"execute", "quit"}});
    if (!qemu.waitForFinished(10000)) {
        qemu.kill();
        qemu.waitForFinished();
    }
}

// One JSON object a line; events that come between are passed over.
QJsonObject UsbLab::qmp(const QJsonObject &command)
{
    monitor.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + "\n");
    monitor.flush();
    QByteArray buffered;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (!monitor.canReadLine() && !monitor.waitForReadyRead(1000))
            continue;
        while (monitor.canReadLine()) {
            const QJsonObject answer = QJsonDocument::fromJson(monitor.readLine()).object();
            if (answer.contains("return") || answer.contains("error"))
                return answer;
        }
    }
    return {{"error", "no answer"}};
}

// "ready VERSION" is command 0; every other line is "ID STATUS".
bool UsbLab::readControl(int ms)
{
    if (!control.canReadLine() && !control.waitForReadyRead(ms))
        return false;
    while (control.canReadLine()) {
        const QList<QByteArray> words = control.readLine().trimmed().split(' ');
        if (words.value(0) == "ready")
            statuses[0] = 0;
        else if (words.size() == 2)
            statuses[words[0].toInt()] = words[1].toInt();
    }
    return true;
}

int UsbLab::startCommand(const QString &command)
{
    const int id = nextId++;
    control.write(QByteArray::number(id) + ' ' + command.toUtf8() + '\n');
    control.flush();
    return id;
}

int UsbLab::finished(int id, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!statuses.contains(id) && clock.elapsed() < ms)
        readControl(int(std::max<qint64>(1, std::min<qint64>(1000, ms - clock.elapsed()))));
    return statuses.value(id, -1);
}

QByteArray UsbLab::output(int id) const
{
    return fileText(share.filePath(QStringLiteral("%1.out").arg(id))).toUtf8();
}

QByteArray UsbLab::errors(int id) const
{
    return fileText(share.filePath(QStringLiteral("%1.err").arg(id))).toUtf8();
}

int UsbLab::run(const QString &command, QByteArray *output, int ms)
{
    const int id = startCommand(command);
    const int status = finished(id, ms);
    if (output)
        *output = this->output(id);
    return status;
}

QString UsbLab::byPath(int port)
{
    return QStringLiteral("/dev/serial/by-path/pci-%1-usb-0:%2:1.0-port0").arg(xhciAddress).arg(port);
}

QString UsbLab::byId(const QString &serial)
{
    return QStringLiteral("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_%1-if00-port0").arg(serial);
}

bool UsbLab::plug(int port, const QString &serial, const QString &driver)
{
    const QJsonObject arguments{{"driver", driver}, {"id", QStringLiteral("adapter%1").arg(port)},
                                {"bus", "xhci.0"}, {"port", QString::number(port)},
                                {"chardev", QStringLiteral("end%1").arg(port)}, {"serial", serial}};
    if (qmp({{"execute", "device_add"}, {"arguments", arguments}}).contains("error"))
        return false;
    return run(QStringLiteral("i=0; until [ -e %1 ]; do [ $i -lt 600 ] || exit 1; i=$((i+1)); sleep 0.1; done")
                   .arg(byPath(port)))
        == 0;
}

bool UsbLab::pull(int port)
{
    const QJsonObject arguments{{"id", QStringLiteral("adapter%1").arg(port)}};
    if (qmp({{"execute", "device_del"}, {"arguments", arguments}}).contains("error"))
        return false;
    return run(QStringLiteral("i=0; while [ -e %1 ]; do [ $i -lt 600 ] || exit 1; i=$((i+1)); sleep 0.1; done")
                   .arg(byPath(port)))
        == 0;
}
