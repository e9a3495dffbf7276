#include "watchcommand.h"

#include "report.h"
#include "station.h"
#include "stationsetup.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

#include <cstdlib>

namespace {
// How often the live view is drawn anew.
const int drawIntervalMs = 100;

QString errorLine(const QString &message)
{
    return QStringLiteral("morlank-cli: ") + message;
}
} // namespace

WatchCommand::WatchCommand(const Request &r)
    : request(r)
    , display(r.quiet)
{
}

int WatchCommand::run()
{
    StationSetup setup;
    QString error;
    if (!setup.prepare(request.station, error)) {
        display.message(errorLine(error));
        return 2;
    }
    Station station(setup.settings(), setup.log());
    QEventLoop loop;
    QObject::connect(&station, &Station::finished, &loop, &QEventLoop::quit);
    QObject::connect(&station, &Station::attemptRecorded, [this](const QJsonObject &record) { printAttempt(record); });
    // Never printed as an attempt (it is not in the log), but never counted ok.
    QObject::connect(&station, &Station::attemptNotRecorded, [this](const QJsonObject &record) { tally.count(record); });
    QObject::connect(&station, &Station::slotChanged, [this](const SlotView &slot) { display.log(slot); });
    QObject::connect(&station, &Station::noticed, [this](const QString &notice) { display.message(errorLine(notice)); });
    QObject::connect(&station, &Station::halted, [this](const QString &reason) {
        halted = true;
        display.message(errorLine(reason + QStringLiteral(". No new unit is taken; the station ends when the units "
                                                          "in flight have finished.")));
    });
    // Until now a signal ended the program at once; from here on it reaches
    // the event loop, so that each unit can finish its command in flight.
    termination = std::make_unique<TerminationSignals>();
    QObject::connect(termination.get(), &TerminationSignals::received, [&](int number) {
        if (signalNumber)
            std::_Exit(128 + signalNumber);
        signalNumber = number;
        display.message(errorLine(QStringLiteral("stopping: no new unit is taken; each unit in flight finishes the "
                                                 "command in flight and is recorded as interrupted. Signal again to "
                                                 "stop at once.")));
        station.stop();
    });
    QTimer draw;
    QObject::connect(&draw, &QTimer::timeout, [&] { display.draw(station.slotViews(), totals()); });
    tally.start();
    station.start();
    if (display.isLive())
        draw.start(drawIntervalMs);
    loop.exec();
    display.draw(station.slotViews(), totals());
    return exitStatus();
}

void WatchCommand::printAttempt(const QJsonObject &record)
{
    tally.count(record);
    if (request.json)
        display.print(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    else
        display.print(Report::attemptText(record).toLocal8Bit());
}

StationDisplay::Totals WatchCommand::totals() const
{
    StationDisplay::Totals totals{tally.ok(), tally.failed(), {}};
    if (tally.knowsRate())
        totals.perHour = tally.perHour();
    return totals;
}

int WatchCommand::exitStatus() const
{
    if (signalNumber)
        return 128 + signalNumber;
    return halted || tally.failed() > 0 ? 1 : 0;
}
