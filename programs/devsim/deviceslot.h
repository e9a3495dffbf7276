#ifndef DEVICESLOT_H
#define DEVICESLOT_H

#include "simulator/deviceprotocol.h"
#include "simulator/simulateddevice.h"

#include <QString>

#include <memory>

class CommandLog;

// One place of a fixture where units are plugged in and taken away. Every
// plug brings a new unit: its own clock, its counters at zero.
//
// With a link path the unit brings its own adapter: a plug makes a new
// pseudo-terminal and the link to it, an unplug removes the link and closes
// the line, so a program holding it open sees it hang up. Without one the
// adapter stays: the line (a new pseudo-terminal, or the tty given) is opened
// once and kept, and while no unit is plugged nothing answers on it.
class DeviceSlot
{
public:
    struct Setup
    {
        DeviceProtocol::Settings settings;
        bool logsName = false; // log lines name the device: by its link, or else by its line
        QString ttyPath;  // a fixed adapter on a real line; empty for a pseudo-terminal
        QString linkPath; // where the link of a unit with its own adapter goes
    };

    DeviceSlot(const Setup &setup, CommandLog &log);
    ~DeviceSlot(); // unplugs: no link outlives the program

    DeviceSlot(const DeviceSlot &) = delete;
    DeviceSlot &operator=(const DeviceSlot &) = delete;

    // False when the fixed line cannot be opened, or the link's place is
    // taken by something that is not a link.
    bool isReady() const;
    QString errorString() const;

    // A plugged unit stays as it is.
    bool plug();
    void unplug();
    bool isPlugged() const;
    // The line the unit answers on; empty while a unit with its own adapter
    // is away.
    QString portName() const;

private:
    bool hasOwnAdapter() const;
    bool openFixedLine();
    bool removeStaleLink();
    bool makeLink();
    void startUnit();

    Setup setup;
    CommandLog &log;
    QString error;
    bool ready = false;
    std::unique_ptr<SimulatedDevice> line;
    std::unique_ptr<DeviceProtocol> unit;
};

#endif // DEVICESLOT_H
