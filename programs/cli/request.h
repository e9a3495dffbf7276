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
        Ports, ClockGet, ClockSet, Download, Watch, Report, DbInit, DbStatus, DbGrant, DbSet, DbAudit,
        OrderAdd, OrderList, OrderClose, ReleaseAdd, ReleaseList, ReleaseShow, ReleaseRevoke, Serve
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
    QString release; // download: NAME[@REV] instead of a file; release show and revoke: the one named;
                     // order add: the order's
    QString name;    // release add: the name to release under
    QString note;    // release add, order add
    QString reason;  // release revoke
    QString bytesFile; // release show: where the release's bytes go
    QString log;     // clock set, download: where each attempt is recorded
    ValueReservations::Sources values; // download: per-unit values
    StationOptions station; // watch
    QString db;      // clock set, download, db: the line's database (a libpq URL)
    ReportOptions report;
    QString operatorName; // clock set, download: who runs them
    QString login;        // db grant: the login, and the kind of role
    QString roleKind;     // station, release or reader
    QString setting;      // db set: the setting's name in the database
    bool settingOn = false;
    QString since;        // db audit: from this time (ISO 8601), or all
    QString order;        // order add, close
    int quantity = 0;     // order add
    QString listenAddress = QStringLiteral("127.0.0.1"); // serve: where the page is served
    int listenPort = 8080; // 0: any free port
    QString token;        // serve: what every request must bring; empty for none
};

#endif // REQUEST_H
