#ifndef WATCHCOMMAND_H
#define WATCHCOMMAND_H

#include "cli/request.h"
#include "cli/stationdisplay.h"
#include "console/terminationsignals.h"
#include "station/unittally.h"

#include <QJsonObject>

#include <memory>

class RecordSender;

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
    void showBacklog();
    bool sendTheRest();
    int exitStatus() const;

    const Request request;
    std::unique_ptr<TerminationSignals> termination; // once the station starts
    StationDisplay display;
    UnitTally tally;
    bool halted = false;
    RecordSender *sender = nullptr; // with --db
    int backlogShown = 0;
    int signalNumber = 0;
};

#endif // WATCHCOMMAND_H
