#ifndef UNITSTORES_H
#define UNITSTORES_H

#include "line/recordsender.h"
#include "records/recordlog.h"
#include "values/valuereservations.h"

#include <QString>

#include <memory>

class CommandTemplate;
class ValueSource;

// Where a run's per-unit values come from and where its records go, chosen
// and opened in one place for morlank-cli and the station: values from the
// state file, or from the line's database; records to the log, or with a
// database to the log or else the spool, from which a sender takes them to
// the database. Everything is checked before any port is opened.
class UnitStores
{
public:
    struct Choice
    {
        QString db;  // the line's database (a libpq URL), or empty
        QString log; // the log, or empty
        ValueReservations::Sources values;
        QString operatorName; // who runs the station, or empty
    };

    explicit UnitStores(const Choice &choice);

    // False, with what to do in `error`, when the values cannot be handed
    // out: a database that cannot be reached, of another schema, or that
    // refuses this role.
    bool openValues(const CommandTemplate &commandTemplate, QString &error);
    // False, with what to do in `error`, when records cannot be kept: the
    // file cannot be synced to disk, or the database cannot take them.
    bool openRecords(QString &error);

    std::shared_ptr<ValueSource> values() const;
    // Null when no record is kept.
    RecordLog *log();
    // With a database: what sends the records there, not yet started.
    RecordSender *sender();
    // What the operator should know before the first unit, or empty.
    QString notice() const;

private:
    // The database as a station uses it, and the line's settings.
    bool checkLine(bool valuesToo, QString &error);

    const Choice choice;
    std::shared_ptr<ValueSource> valueSource;
    bool databaseChecked = false;
    RecordLog recordLog;
    std::unique_ptr<RecordSender> recordSender;
    QString noticeText;
};

#endif // UNITSTORES_H
