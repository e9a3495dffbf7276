#ifndef WATCHCOMMAND_H
#define WATCHCOMMAND_H

#include "request.h"
#include "stationdisplay.h"
#include "terminationsignals.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>

#include <memory>

// morlank-cli watch: runs a station until Ctrl-C, SIGTERM or the units asked
// for, prints every attempt as it is recorded and shows the slots.
class WatchCommand
{
public:
    explicit WatchCommand(const Request &request);

    // The exit status.
    int run();

private:
    void printAttempt(const QJsonObject &record);
    StationDisplay::Totals totals() const;
    int exitStatus() const;

    const Request request;
    std::unique_ptr<TerminationSignals> termination; // once the station starts
    StationDisplay display;
    QElapsedTimer running;
    // The result of each slot's latest unit, as its latest attempt left it.
    QHash<QString, QString> latestResult;
    int unitsOk = 0;
    int unitsFailed = 0;
    bool halted = false;
    int signalNumber = 0;
};

#endif // WATCHCOMMAND_H
