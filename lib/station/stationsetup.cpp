#include "station/stationsetup.h"

#include "jobs/configuration.h"
#include "line/databasevalues.h"
#include "line/databaseurl.h"
#include "line/lineorders.h"
#include "line/orderclaims.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryFile>

bool StationSetup::prepare(const StationOptions &options, QString &error)
{
    Configuration configuration;
    StationSettings &s = stationSettings;
    if (options.order.isEmpty() ? !configuration.load(options.file, error) : !loadOrder(options, configuration, error))
        return false;
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
    s.file = options.order.isEmpty() ? QFileInfo(options.file).absoluteFilePath() : s.release;
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

// The order's release, read once from the database and checked against its
// hash; the claims that count the order's units.
bool StationSetup::loadOrder(const StationOptions &options, Configuration &configuration, QString &error)
{
    PgConnection db;
    QString why;
    LineOrders::Order order;
    QByteArray bytes;
    QString sha256;
    if (!db.open(options.db, why)) {
        error = QStringLiteral("cannot use the database %1: %2 (%3). Nothing was sent.")
                    .arg(DatabaseUrl::masked(options.db), PgConnection::remedy(db.fault()), why);
        return false;
    }
    if (!LineOrders::find(db, options.order, order, error)
        || !LineOrders::releaseBytes(db, order.releaseName, order.revision, bytes, sha256, error))
        return false;
    if (!order.closedAt.isEmpty()) {
        error = QStringLiteral("the order %1 was closed at %2: nothing is programmed for it.").arg(order.name, order.closedAt);
        return false;
    }
    QTemporaryFile file;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        error = QStringLiteral("cannot keep the release %1 in a temporary file: %2").arg(order.release, file.errorString());
        return false;
    }
    if (!configuration.load(file.fileName(), error))
        return false;
    if (configuration.sha256 != sha256) {
        error = QStringLiteral("the release %1 read from the database has SHA-256 %2, not its own %3: nothing sent.")
                    .arg(order.release, configuration.sha256, sha256);
        return false;
    }
    stationSettings.order = order.name;
    stationSettings.release = order.release;
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
