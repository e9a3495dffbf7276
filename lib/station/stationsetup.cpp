#include "station/stationsetup.h"

#include "line/runconfiguration.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QSysInfo>

bool StationSetup::prepare(const StationOptions &options, QString &error)
{
    RunConfiguration run;
    if (!run.load(options.db, options.file, options.release, error))
        return false;
    const Configuration &configuration = run.configuration;
    auto commandTemplate = std::make_shared<CommandTemplate>(configuration.commands, configuration.lineNumbers);
    stores = std::make_unique<UnitStores>(UnitStores::Choice{options.db, options.log, options.values});
    if (!stores->openValues(*commandTemplate, error) || !stores->openRecords(error))
        return false;
    StationSettings &s = stationSettings;
    s.ports = options.ports;
    s.vidPids = options.vidPids;
    s.slotNames = options.slotNames;
    s.file = run.file;
    s.release = run.release;
    s.db = options.db;
    s.fileSha256 = configuration.sha256;
    s.commands = configuration.commands;
    s.lineNumbers = configuration.lineNumbers;
    if (stores->values()->isInUse()) {
        s.commandTemplate = commandTemplate;
        s.values = stores->values();
    }
    s.setClock = options.setClock;
    s.verify = options.verify;
    s.retries = options.retries;
    s.units = options.units;
    s.stationName = QSysInfo::machineHostName();
    s.version = QCoreApplication::applicationVersion();
    return true;
}

RecordSender *StationSetup::sender()
{
    return stores ? stores->sender() : nullptr;
}

QString StationSetup::notice() const
{
    return stores ? stores->notice() : QString();
}

const StationSettings &StationSetup::settings() const
{
    return stationSettings;
}

RecordLog *StationSetup::log()
{
    return stores ? stores->log() : nullptr;
}
