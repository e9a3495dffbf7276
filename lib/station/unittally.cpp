#include "station/unittally.h"

#include "records/recordkeys.h"

namespace {
const qint64 rateAfterMs = 60000;
}

void UnitTally::start()
{
    latestResult.clear();
    okUnits = 0;
    failedUnits = 0;
    running.start();
}

void UnitTally::count(const QJsonObject &record)
{
    const QString slot = record.value(RecordKeys::slot).toString();
    const QString result = record.value(RecordKeys::result).toString();
    const auto earlier = latestResult.constFind(slot);
    if (record.value(RecordKeys::attempt).toInt() > 1 && earlier != latestResult.constEnd()) {
        okUnits -= *earlier == QLatin1String("ok");
        failedUnits -= *earlier != QLatin1String("ok");
    }
    latestResult.insert(slot, result);
    okUnits += result == QLatin1String("ok");
    failedUnits += result != QLatin1String("ok");
}

int UnitTally::ok() const
{
    return okUnits;
}

int UnitTally::failed() const
{
    return failedUnits;
}

bool UnitTally::knowsRate() const
{
    return running.isValid() && running.elapsed() >= rateAfterMs;
}

double UnitTally::perHour() const
{
    const double hours = running.isValid() ? running.elapsed() / 3600000.0 : 0;
    return hours > 0 ? (okUnits + failedUnits) / hours : 0;
}
