#include "station/stationsetup.h"

#include "line/databaseurl.h"
#include "line/databasevalues.h"
#include "line/lineorders.h"
#include "line/livepublisher.h"
#include "line/orderclaims.h"
#include "line/runconfiguration.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QSysInfo>

bool StationSetup::prepare(const StationOptions &options, QString &error)
{
    StationSettings &s = stationSettings;
    QString release = options.release;
    if (!options.order.isEmpty() && !findOrder(options, release, error))
        return false;
    RunConfiguration run;
    if (!run.load(options.db, options.file, release, error))
        return false;
    const Configuration &configuration = run.configuration;
    auto commandTemplate = std::make_shared<CommandTemplate>(configuration.commands, configuration.lineNumbers);
    stores = std::make_unique<UnitStores>(UnitStores::Choice{options.db, options.log, options.values, options.operatorName});
    if (!stores->openValues(*commandTemplate, error) || !stores->openRecords(error))
        return false;
    if (s.claims) {
        if (!s.claims->open(error))
            return false;
        if (auto line = std::dynamic_pointer_cast<DatabaseValues>(stores->values()))
            line->claimFor(s.claims);
    }
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
    s.operatorName = options.operatorName;
    s.version = QCoreApplication::applicationVersion();
    if (!options.db.isEmpty() && options.publishLive)
        s.live = std::make_shared<LivePublisher>(
            options.db, LivePublisher::Identity{s.stationName, QSysInfo::machineHostName(), s.version}, sender());
    return true;
}

// The open order's release (NAME@REV), read like any release, and the
// claims that count the order's units.
bool StationSetup::findOrder(const StationOptions &options, QString &release, QString &error)
{
    PgConnection db;
    QString why;
    LineOrders::Order order;
    if (!db.open(options.db, why)) {
        error = QStringLiteral("cannot use the database %1: %2 (%3). Nothing was sent.")
                    .arg(DatabaseUrl::masked(options.db), PgConnection::remedy(db.fault()), why);
        return false;
    }
    if (!LineOrders::find(db, options.order, order, error))
        return false;
    if (!order.closedAt.isEmpty()) {
        error = QStringLiteral("the order %1 was closed at %2: nothing is programmed for it.").arg(order.name, order.closedAt);
        return false;
    }
    release = order.release;
    stationSettings.order = order.name;
    stationSettings.claims = std::make_shared<OrderClaims>(options.db, order.name, order.quantity);
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
