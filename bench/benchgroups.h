#ifndef BENCHGROUPS_H
#define BENCHGROUPS_H

#include <QString>
#include <QStringList>
#include <QVector>

class PgServer;
class ResultTable;

// The groups of rows morlank-bench runs, in their order; each measures, then
// adds its rows to the table.
void downloadRows(ResultTable &table);
void scanRows(ResultTable &table);
void fleetRows(ResultTable &table);
void stationRows(ResultTable &table);
void textRows(ResultTable &table);
void valuesRows(ResultTable &table);
void startupRows(ResultTable &table);
void windowRows(ResultTable &table);
void reportRows(ResultTable &table);
void lineRows(ResultTable &table);
void liveRows(ResultTable &table);

// The line's throw-away server with the schema in its database `line`, and
// what every process the bench starts needs to log in and to keep its
// spool apart from the user's: why not, or empty.
QString prepareLine(PgServer &server);

// The station's throughput rows, which the line shares: each variant runs
// the full station again with watch options of its own (a relative path
// lands in the run's scratch folder) and is judged against the plain full
// station, or the variant named `against`.
struct ThroughputVariant
{
    QString name;
    QStringList watchOptions;
    QString target;
    QString against;
};
void throughputRows(ResultTable &table, const QVector<ThroughputVariant> &variants);
// The commands in the file each throughput run serves.
const int throughputCommands = 20;

// The share of one processor, in %, that morlank-cli watch with
// `watchOptions` takes over `seconds` on a fixture of `slotCount` ports,
// silent or each with a finished unit sitting in it: why not, or empty.
QString stationCpuShare(int slotCount, bool sitting, const QStringList &watchOptions, int seconds, double &percent);

#endif // BENCHGROUPS_H
