#include "station/stationsetup.h"

#include "jobs/configuration.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

bool StationSetup::prepare(const StationOptions &options, QString &error)
{
    Configuration configuration;
    if (!configuration.load(options.file, error))
        return false;
    auto commandTemplate = std::make_shared<CommandTemplate>(configuration.commands, configuration.lineNumbers);
    stores = std::make_unique<UnitStores>(UnitStores::Choice{options.db, options.log, options.values, options.operatorName});
    if (!stores->openValues(*commandTemplate, error) || !stores->openRecords(error))
        return false;
    StationSettings &s = stationSettings;
    s.ports = options.ports;
    s.vidPids = options.vidPids;
    s.slotNames = options.slotNames;
    s.file = QFileInfo(options.file).absoluteFilePath();
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
    s.operatorName = options.operatorName;
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
