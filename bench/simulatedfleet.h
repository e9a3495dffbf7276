#ifndef SIMULATEDFLEET_H
#define SIMULATEDFLEET_H

#include <QProcess>
#include <QStringList>

// morlank-devsim serving several devices from a process of its own, for as
// long as this object lives.
class SimulatedFleet
{
public:
    // Starts morlank-devsim --count `count` with `options` and waits for the
    // paths it prints.
    explicit SimulatedFleet(int count, const QStringList &options = {});
    ~SimulatedFleet();

    // One path a device; empty when the fleet did not start.
    QStringList portNames() const;
    // A command on its standard input, such as "plug 3", written at once
    // rather than when the event loop comes round.
    void send(const QByteArray &command);
    bool isRunning() const;

private:
    QProcess process;
    QStringList names;
};

#endif // SIMULATEDFLEET_H
