#include "station/stationsetup.h"

#include "jobs/configuration.h"
#include "line/databasevalues.h"
#include "line/lineschema.h"
#include "values/commandtemplate.h"
#include "values/valuereservations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

bool StationSetup::prepare(const StationOptions &options, QString &error)
{
    Configuration configuration;
    if (!configuration.load(options.file, error))
        return false;
    auto commandTemplate = std::make_shared<CommandTemplate>(configuration.commands, configuration.lineNumbers);
    if (!prepareValues(options, *commandTemplate, error) || !prepareRecords(options, error))
        return false;
    StationSettings &s = stationSettings;
    s.ports = options.ports;
    s.vidPids = options.vidPids;
    s.slotNames = options.slotNames;
    s.file = QFileInfo(options.file).absoluteFilePath();
    s.fileSha256 = configuration.sha256;
    s.commands = configuration.commands;
    s.lineNumbers = configuration.lineNumbers;
    if (values->isInUse()) {
        s.commandTemplate = commandTemplate;
        s.values = values;
    }
    s.setClock = options.setClock;
    s.verify = options.verify;
    s.retries = options.retries;
    s.units = options.units;
    s.stationName = QSysInfo::machineHostName();
    s.version = QCoreApplication::applicationVersion();
    return true;
}

// From the state file, or with --db from the line's database, checked
// (reachable, of this schema, the role allowed) before any port is opened.
bool StationSetup::prepareValues(const StationOptions &options, const CommandTemplate &commands, QString &error)
{
    if (options.db.isEmpty()) {
        auto reservations = std::make_shared<ValueReservations>();
        values = reservations;
        return reservations->open(options.values, commands, error);
    }
    const bool valuesGiven = !options.values.list.isEmpty() || !options.values.counters.isEmpty();
    if (!LineSchema::checkUse(options.db, valuesGiven, error))
        return false;
    auto line = std::make_shared<DatabaseValues>(options.db, QSysInfo::machineHostName());
    values = line;
    if (!line->open(options.values, commands, error))
        return false;
    noticeText = line->notice();
    return true;
}

// The log, or with --db and no log the spool, holds each record on this
// computer's disk before the database has it.
bool StationSetup::prepareRecords(const StationOptions &options, QString &error)
{
    const QString file = !options.log.isEmpty() || options.db.isEmpty() ? options.log : RecordSender::spoolPath();
    if (!file.isEmpty() && !recordLog.open(file, error))
        return false;
    if (!options.db.isEmpty())
        recordSender = std::make_unique<RecordSender>(options.db, file, options.log.isEmpty());
    return true;
}

RecordSender *StationSetup::sender()
{
    return recordSender.get();
}

QString StationSetup::notice() const
{
    return noticeText;
}

const StationSettings &StationSetup::settings() const
{
    return stationSettings;
}

RecordLog *StationSetup::log()
{
    return recordLog.isOpen() ? &recordLog : nullptr;
}
