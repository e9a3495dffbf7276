#ifndef REQUEST_H
#define REQUEST_H

#include "cli/reportoptions.h"
#include "jobs/wallclock.h"
#include "station/stationoptions.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asked for, checked.
struct Request
{
    enum Command {
        Ports, ClockGet, ClockSet, Download, Watch, Report, DbInit, DbStatus,
        ReleaseAdd, ReleaseList, ReleaseShow, ReleaseRevoke
    };

    Command command = Ports;
    QStringList ports; // the --port names, in order, each once
    bool all = false;
    bool json = false;
    bool quiet = false;
    bool dryRun = false;
    bool verify = false;
    std::optional<WallClock> clock; // clock set: what to write; none with --from-pc
    QString file;    // download, release add
    QString release; // download: NAME[@REV] instead of a file; release show and revoke: the one named
    QString name;    // release add: the name to release under
    QString note;    // release add
    QString reason;  // release revoke
    QString bytesFile; // release show: where the release's bytes go
    QString log;     // clock set, download: where each attempt is recorded
    ValueReservations::Sources values; // download: per-unit values
    StationOptions station; // watch
    QString db;      // clock set, download, db: the line's database (a libpq URL)
    ReportOptions report;
};

#endif // REQUEST_H
