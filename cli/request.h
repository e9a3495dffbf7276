#ifndef REQUEST_H
#define REQUEST_H

#include "wallclock.h"

#include <QString>
#include <QPair>
#include <QStringList>
#include <QVector>

#include <optional>

// What the command line asked for, checked.
struct Request
{
    enum Command { Ports, ClockGet, ClockSet, Download, Watch };

    Command command = Ports;
    QStringList ports; // the --port names, in order, each once
    bool all = false;
    bool json = false;
    bool quiet = false;
    bool dryRun = false;
    bool verify = false;
    std::optional<WallClock> clock; // clock set: what to write; none with --from-pc
    QString file;    // download, watch
    QString log;     // --log: where each attempt is recorded

    // watch
    QStringList vidPids;                     // lower case, "0403:6001"
    QVector<QPair<QString, QString>> slotNames; // name, port
    bool setClock = false;
    int retries = 0;
    int units = 0; // 0: until stopped
};

#endif // REQUEST_H
