#ifndef REQUEST_H
#define REQUEST_H

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the command line asked for, checked.
struct Request
{
    enum Command { Ports, ClockGet, ClockSet, Download };

    Command command = Ports;
    QStringList ports; // the --port names, in order, each once
    bool all = false;
    bool json = false;
    bool quiet = false;
    bool dryRun = false;
    bool verify = false;
    QDateTime clock; // clock set: what to write; invalid with --from-pc
    QString file;    // download
};

#endif // REQUEST_H
