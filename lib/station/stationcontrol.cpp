#include "station/stationcontrol.h"

#include "records/recordlog.h"

StationControl::StationControl(const StationSettings &s, RecordLog *l)
    : stationSettings(s)
    , log(l)
{
}

const StationSettings &StationControl::settings() const
{
    return stationSettings;
}

bool StationControl::takeUnit()
{
    std::lock_guard<std::mutex> lock(mutex);
    const bool limitReached = stationSettings.units > 0 && taken >= stationSettings.units;
    if (stopping || !halted.isEmpty() || limitReached)
        return false;
    ++taken;
    return true;
}

void StationControl::finishUnit()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++finished;
}

int StationControl::unitsInFlight() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return taken - finished;
}

bool StationControl::takesNoMore() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return stopping || !halted.isEmpty() || (stationSettings.units > 0 && taken >= stationSettings.units);
}

bool StationControl::mayRetry() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !stopping && halted.isEmpty();
}

void StationControl::stop()
{
    stopping = true;
}

bool StationControl::isStopping() const
{
    return stopping;
}

const std::atomic<bool> &StationControl::stopFlag() const
{
    return stopping;
}

void StationControl::halt(const QString &reason)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (halted.isEmpty())
        halted = reason;
}

QString StationControl::haltReason() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return halted;
}

bool StationControl::keep(const QJsonObject &record, QString &error)
{
    if (!log)
        return true;
    if (log->append(record, error))
        return true;
    halt(QStringLiteral("the log cannot be written: %1").arg(error));
    return false;
}

QString StationControl::takeLogNotice()
{
    return log ? log->takeNotice() : QString();
}
