#ifndef STATIONBENCH_H
#define STATIONBENCH_H

#include "simulator/deviceprotocol.h"
#include "simulator/simulateddevice.h"

#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>

// A bench of slots for a station to watch: slot N is the link DIR/slotN to
// the pseudo-terminal of a simulated unit. A unit with an adapter of its own
// is plugged in (its link appears) and pulled out (link and line go); a
// fixture keeps its port, and units are attached behind it (it starts
// answering) and detached (it falls silent).
class StationBench
{
public:
    StationBench();

    QString pattern() const;
    QString slotPath(int slot) const;
    SimulatedDevice &device(int slot);

    SimulatedDevice &plug(int slot, const DeviceProtocol::Settings &unit = {});
    void pull(int slot);

    SimulatedDevice &fixture(int slot);
    void attach(int slot, const DeviceProtocol::Settings &unit = {});
    void detach(int slot);

private:
    QTemporaryDir dir;
    std::map<int, std::unique_ptr<SimulatedDevice>> devices;
};

#endif // STATIONBENCH_H
