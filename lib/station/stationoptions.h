#ifndef STATIONOPTIONS_H
#define STATIONOPTIONS_H

#include "values/valuereservations.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class QCommandLineParser;

// What a station is asked to do, as its command line gives it: the same
// options for morlank-cli watch and for the station window.
struct StationOptions
{
    QString file;
    // A release of the line (NAME or NAME@REV) to run instead of a file.
    QString release;
    QStringList ports;
    QStringList vidPids; // lower case, "0403:6001"
    QVector<QPair<QString, QString>> slotNames; // name, port
    bool setClock = false;
    bool verify = false;
    int retries = 0;
    int units = 0; // 0: until stopped
    QString log;
    // Per-unit values: a CSV list, counters (NAME=START[:STEP]) and the file
    // that keeps what was handed out.
    ValueReservations::Sources values;
    // The database of a line (a libpq URL), for values and records; empty
    // for a station on its own.
    QString db;
    // With db: whether the slots are shown on the line's page.
    bool publishLive = true;
    QString operatorName; // who runs the station; empty for none given
    // A work order of that database: its release is run instead of FILE.
    QString order;

    // The options every station takes; FILE is the one positional argument.
    static void addTo(QCommandLineParser &parser);
    // --values, --counter and --state alone, for a download, and what they
    // name.
    static void addValueOptions(QCommandLineParser &parser);
    static ValueReservations::Sources valueSources(const QCommandLineParser &parser);
    // --db, for the commands that record attempts.
    static void addDatabaseOption(QCommandLineParser &parser);
    // The URL of --db; false, with why, when it comes with --state.
    static bool readDatabase(const QCommandLineParser &parser, QString &db, QString &error);
    // --operator NAME, for every command that serves units.
    static void addOperatorOption(QCommandLineParser &parser);
    // The name of --operator, trimmed; false, with why, when it is not one.
    static bool readOperator(const QCommandLineParser &parser, QString &operatorName, QString &error);
    // --order, checked against FILE, --release and --db.
    bool readOrder(const QCommandLineParser &parser, QString &error);
    // --release, for the commands that send a configuration.
    static void addReleaseOption(QCommandLineParser &parser);
    // FILE, or --release with --db (read first): never both; neither is
    // left to the caller.
    static bool readConfiguration(const QCommandLineParser &parser, const QString &db, QString &file,
                                  QString &release, QString &error);
    // False, with what is wrong in `error`, when a value is not one.
    bool read(const QCommandLineParser &parser, QString &error);
};

#endif // STATIONOPTIONS_H
