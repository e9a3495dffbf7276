#ifndef ADAPTEREND_H
#define ADAPTEREND_H

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The far end of a lab adapter: morlank-devsim's line joined by socat to the
// adapter's socket, a unit behind it only while plugged in. What the units
// heard is read from the simulator's log.
class AdapterEnd
{
public:
    // `arguments` go to morlank-devsim (--refuse, --delay...).
    explicit AdapterEnd(const QString &socket, const QStringList &arguments = {});
    ~AdapterEnd();

    bool isJoined() const;
    // A new unit behind the adapter, its counters at zero; or none.
    bool plugUnit();
    bool pullUnit();
    // The commands the units heard, in order, handshakes included.
    QStringList commands() const;
    int configurationCommands() const;
    // Waits until the units have heard `count` commands other than the
    // handshake.
    bool waitForConfigurationCommands(int count, int ms);

private:
    bool carryOut(const QByteArray &command, const QByteArray &answer);

    QTemporaryDir folder;
    QProcess simulator;
    QProcess joiner;
};

#endif // ADAPTEREND_H
