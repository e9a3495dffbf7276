#ifndef DEVICERACK_H
#define DEVICERACK_H

#include "devsim/deviceslot.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class CommandLog;
class DevsimCommandLine;
class QTextStream;

// The devices morlank-devsim serves, numbered from 1, plugged in and
// unplugged by commands of a line each: "plug N", "unplug N", "plug all",
// "unplug all".
class DeviceRack
{
public:
    DeviceRack(const DevsimCommandLine &commandLine, CommandLog &log);

    // Readies every slot and plugs each unless told to start unplugged;
    // false at the first that fails.
    bool open();
    QString errorString() const;
    // A path a device, for whoever watches them: its link, or else its line.
    QStringList paths() const;
    // What is served and how, for a person.
    QString description() const;

    // What was done goes to `out`, flushed a line at a time for scripts that
    // wait for it; a command that makes no sense goes to `err` and is ignored.
    void carryOut(const QByteArray &command, QTextStream &out, QTextStream &err);

private:
    // Empty without a link folder.
    QString linkPath(int number) const;
    bool readTargets(const QByteArray &word, std::vector<int> &numbers, QTextStream &err) const;

    QString linkFolder;
    bool startsUnplugged = false;
    QString error;
    std::vector<std::unique_ptr<DeviceSlot>> deviceSlots;
    std::vector<QString> linkPaths;
};

#endif // DEVICERACK_H
