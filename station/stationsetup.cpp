#include "stationsetup.h"

#include "commandtemplate.h"
#include "configuration.h"
#include "valuereservations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

bool StationSetup::prepare(const StationOptions &options, QString &error)
{
    Configuration configuration;
    if (!configuration.load(options.file, error))
        return false;
    auto commandTemplate = std::make_shared<CommandTemplate>(configuration.commands, configuration.lineNumbers);
    auto values = std::make_shared<ValueReservations>();
    if (!values->open(options.values, *commandTemplate, error))
        return false;
    if (!options.log.isEmpty() && !recordLog.open(options.log, error))
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

const StationSettings &StationSetup::settings() const
{
    return stationSettings;
}

RecordLog *StationSetup::log()
{
    return recordLog.isOpen() ? &recordLog : nullptr;
}
