#ifndef USBLAB_H
#define USBLAB_H

#include <QByteArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A guest on Debian's own kernel under QEMU with the host's root read-only,
// udev running, and an xHCI controller whose ports take FTDI adapters while
// it runs. Commands run in the guest as root; their output comes back through
// a folder both sides see at the same path.
class UsbLab
{
public:
    UsbLab();
    ~UsbLab();

    // Builds the guest and boots it; false with a reason when it cannot.
    bool start(QString &error);
    QString shareFolder() const;
    // The socket of the far end of the adapter on xHCI port `port` (1 to
    // 4): an adapter is attached only while something is connected there.
    QString farEndSocket(int port) const;
    // The console the guest's kernel writes to, for a failing test to show.
    QByteArray console() const;

    // Runs a shell command in the guest and waits for it; its status (-1
    // after `ms`) and standard output.
    int run(const QString &command, QByteArray *output = nullptr, int ms = 120000);
    // Starts a shell command in the guest; it is reaped by finished().
    int startCommand(const QString &command);
    // The status of a command started, -1 when it has not ended within `ms`.
    int finished(int id, int ms);
    QByteArray output(int id) const;
    QByteArray errors(int id) const;

    // An adapter with the serial number `serial` on xHCI port `port`;
    // `driver` usb-serial (FTDI 0403:6001) or usb-braille (FTDI 0403:fe72).
    // Returns once udev has made its by-path name.
    bool plug(int port, const QString &serial, const QString &driver = QStringLiteral("usb-serial"));
    bool pull(int port);
    static QString byPath(int port);
    static QString byId(const QString &serial);

private:
    QJsonObject qmp(const QJsonObject &command);
    bool readControl(int ms);
    void stop();

    QTemporaryDir sockets; // short paths: a socket's path is limited
    QTemporaryDir share;
    QProcess qemu;
    QLocalSocket monitor;
    QLocalSocket control;
    QByteArray controlInput;
    QMap<int, int> statuses;
    int nextId = 1;
};

#endif // USBLAB_H
