#include "serving/unitstores.h"

#include "line/databasevalues.h"
#include "line/lineschema.h"
#include "line/linesettings.h"
#include "records/spool.h"

#include <QSysInfo>

UnitStores::UnitStores(const Choice &c)
    : choice(c)
{
}

bool UnitStores::openValues(const CommandTemplate &commandTemplate, QString &error)
{
    if (choice.db.isEmpty()) {
        auto reservations = std::make_shared<ValueReservations>();
        valueSource = reservations;
        return reservations->open(choice.values, commandTemplate, error);
    }
    const bool valuesGiven = !choice.values.list.isEmpty() || !choice.values.counters.isEmpty();
    if (!checkLine(valuesGiven, error))
        return false;
    auto line = std::make_shared<DatabaseValues>(choice.db, QSysInfo::machineHostName());
    valueSource = line;
    if (!line->open(choice.values, commandTemplate, error))
        return false;
    noticeText = line->notice();
    return true;
}

bool UnitStores::openRecords(QString &error)
{
    if (!choice.db.isEmpty() && !databaseChecked && !checkLine(false, error))
        return false;
    const QString file = !choice.log.isEmpty() || choice.db.isEmpty() ? choice.log : Spool::userPath();
    if (!file.isEmpty() && !recordLog.open(file, error))
        return false;
    if (!choice.db.isEmpty())
        recordSender = std::make_unique<RecordSender>(choice.db, file, choice.log.isEmpty());
    return true;
}

bool UnitStores::checkLine(bool valuesToo, QString &error)
{
    const LineSchema::Use use = valuesToo ? LineSchema::TakingValues : LineSchema::Recording;
    databaseChecked = LineSchema::checkUse(choice.db, use, error)
                      && LineSettings::checkOperator(choice.db, choice.operatorName, error);
    return databaseChecked;
}

std::shared_ptr<ValueSource> UnitStores::values() const
{
    return valueSource;
}

RecordLog *UnitStores::log()
{
    return recordLog.isOpen() ? &recordLog : nullptr;
}

RecordSender *UnitStores::sender()
{
    return recordSender.get();
}

QString UnitStores::notice() const
{
    return noticeText;
}
