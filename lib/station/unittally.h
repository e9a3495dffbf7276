#ifndef UNITTALLY_H
#define UNITTALLY_H

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QString>

// Units counted since the station started, by the result of each unit's
// latest attempt: a retry changes what its unit came to instead of counting
// a unit more. Every result but ok counts as failed, as in morlank-cli.
class UnitTally
{
public:
    void start();
    void count(const QJsonObject &record);

    int ok() const;
    int failed() const;
    // Known once the station has run a minute: before, a unit or two
    // would read as hundreds an hour.
    bool knowsRate() const;
    double perHour() const;

private:
    QHash<QString, QString> latestResult; // by slot
    int okUnits = 0;
    int failedUnits = 0;
    QElapsedTimer running;
};

#endif // UNITTALLY_H
