#ifndef SIMULATEDFLEET_H
#define SIMULATEDFLEET_H

#include <QProcess>
#include <QStringList>

// morlank-devsim serving several devices from a process of its own, for as
// long as this object lives.
class SimulatedFleet
{
public:
    // Starts `devsimPath --count count` with `options` and waits for the
    // paths it prints.
    SimulatedFleet(const QString &devsimPath, int count, const QStringList &options = {});
    ~SimulatedFleet();

    // One path a device; empty when the fleet did not start.
    QStringList portNames() const;
    // The names as morlank-cli options: --port NAME for each.
    QStringList portOptions() const;

private:
    QProcess process;
    QStringList names;
};

#endif // SIMULATEDFLEET_H
