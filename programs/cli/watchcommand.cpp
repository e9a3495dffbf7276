#include "cli/watchcommand.h"

#include "cli/report.h"
#include "line/orderclaims.h"
#include "line/recordsender.h"
#include "station/station.h"
#include "station/stationsetup.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

#include <cstdlib>

namespace {
// How often the live view is drawn anew.
const int drawIntervalMs = 100;
// How long a station that ends keeps sending the records that wait.
const int lastSendingMs = 30000;

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
    if (!setup.notice().isEmpty())
        display.message(errorLine(setup.notice()));
    sender = setup.sender();
    Station station(setup.settings(), setup.log());
    QEventLoop loop;
    QObject::connect(&station, &Station::finished, &loop, &QEventLoop::quit);
    QObject::connect(&station, &Station::attemptRecorded, [this](const QJsonObject &record) { printAttempt(record); });
    // Never printed as an attempt (it is not in the log), but never counted ok.
    QObject::connect(&station, &Station::attemptNotRecorded, [this](const QJsonObject &record) { tally.count(record); });
    QObject::connect(&station, &Station::slotChanged, [this](const SlotView &slot) { display.log(slot); });
    QObject::connect(&station, &Station::noticed, [this](const QString &notice) { display.message(errorLine(notice)); });
    const std::shared_ptr<OrderClaims> claims = setup.settings().claims;
    QObject::connect(&station, &Station::halted, [this, claims](const QString &reason) {
        if (claims && claims->isComplete())
            return; // said once its slots are idle
        halted = true;
        display.message(errorLine(reason + QStringLiteral(". No new unit is taken; the station ends when the units "
                                                          "in flight have finished.")));
    });
    // Until now a signal ended the program at once; from here on it reaches
    // the event loop, so that each unit can finish its command in flight.
    termination = std::make_unique<TerminationSignals>();
    QObject::connect(termination.get(), &TerminationSignals::received, [&](int number) {
        if (!station.isRunning()) {
            loop.quit(); // while the last records are sent: stop sending
            return;
        }
        if (signalNumber)
            std::_Exit(128 + signalNumber);
        signalNumber = number;
        display.message(errorLine(QStringLiteral("stopping: no new unit is taken; each unit in flight finishes the "
                                                 "command in flight and is recorded as interrupted. Signal again to "
                                                 "stop at once.")));
        station.stop();
    });
    QTimer draw;
    QObject::connect(&draw, &QTimer::timeout, [&] {
        showBacklog();
        display.draw(station.slotViews(), totals());
    });
    tally.start();
    if (sender)
        sender->start();
    station.start();
    if (display.isLive() || sender)
        draw.start(drawIntervalMs);
    loop.exec();
    display.draw(station.slotViews(), totals());
    const bool sent = sendTheRest();
    // An order done is the station's work done, whatever failed on the way.
    if (claims && claims->isComplete() && !signalNumber) {
        display.message(claims->completeText());
        return sent ? 0 : 1;
    }
    return sent ? exitStatus() : 1;
}

// Off a terminal, a line when records start or stop waiting for the
// database; on one, the totals line says it as well.
void WatchCommand::showBacklog()
{
    if (!sender)
        return;
    const RecordSender::Backlog backlog = sender->backlog();
    if ((backlog.records > 0) == (backlogShown > 0))
        return;
    backlogShown = backlog.records;
    display.message(errorLine(backlog.records > 0 ? totals().database
                                                  : QStringLiteral("every record is in the database.")));
}

// Every record in the database, or after 30 s (or a further signal) where
// the rest wait: the next start sends them.
bool WatchCommand::sendTheRest()
{
    if (!sender)
        return true;
    sender->writingDone();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (sender->hasSentAll())
            loop.quit();
    });
    QTimer::singleShot(lastSendingMs, &loop, &QEventLoop::quit);
    if (!sender->hasSentAll()) {
        display.message(errorLine(QStringLiteral("sending the records that wait for the database, for up to "
                                                 "30 s; Ctrl-C to stop at once.")));
        look.start(drawIntervalMs);
        QObject::connect(termination.get(), &TerminationSignals::received, &loop, &QEventLoop::quit);
        loop.exec();
    }
    sender->end();
    const QString left = sender->leftBehind();
    if (left.isEmpty())
        return true;
    display.message(errorLine(left + QStringLiteral("; the next start with --db sends them.")));
    return false;
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
    QString database;
    if (sender) {
        const RecordSender::Backlog backlog = sender->backlog();
        if (backlog.records > 0)
            database = QStringLiteral("%1 records wait for the database since %2%3")
                           .arg(backlog.records)
                           .arg(backlog.since.toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                                backlog.error.isEmpty() ? QString() : QStringLiteral(" (") + backlog.error + ')');
    }
    StationDisplay::Totals totals{tally.ok(), tally.failed(), {}, database};
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
