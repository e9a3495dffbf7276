#include "linepage/livefeed.h"

#include "base/naturalorder.h"
#include "line/livestations.h"
#include "line/pgconnection.h"
#include "linepage/linetoday.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantList>

#include <algorithm>

namespace {
// The stations are read again at least this often.
const int lookIntervalMs = 1000;
// Notifications that come within this of the first are read as one change.
const int coalesceMs = 100;
// Today's figures read every record of the day: at most this often when
// records came, and at least this often (a new day).
const int todayShortestMs = 2000;
const int todayLongestMs = 60000;

// Each station's slots in the order its operator sees them: ttyUSB2 before
// ttyUSB10.
QJsonArray inSlotOrder(const QJsonArray &stations)
{
    QJsonArray ordered;
    for (const QJsonValue &value : stations) {
        QJsonObject station = value.toObject();
        QVariantList tiles = station.value(QStringLiteral("slots")).toArray().toVariantList();
        std::sort(tiles.begin(), tiles.end(), [](const QVariant &a, const QVariant &b) {
            return naturalLess(a.toMap().value(QStringLiteral("slot")).toString(),
                               b.toMap().value(QStringLiteral("slot")).toString());
        });
        station.insert(QStringLiteral("slots"), QJsonArray::fromVariantList(tiles));
        ordered << station;
    }
    return ordered;
}
} // namespace

LiveFeed::LiveFeed(const QString &u)
    : url(u)
{
}

LiveFeed::~LiveFeed()
{
    end();
}

void LiveFeed::start()
{
    thread = std::thread([this] { run(); });
}

std::shared_ptr<const std::string> LiveFeed::next(quint64 seen, int ms, quint64 &now) const
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return number > seen || ending; });
    now = number;
    return json;
}

void LiveFeed::end()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
        changed.notify_all();
    }
    if (thread.joinable())
        thread.join();
}

void LiveFeed::run()
{
    PgConnection connection;
    while (!ended(0)) {
        if (!connection.isOpen() && !listen(connection)) {
            publish(QJsonDocument(QJsonObject{{"stations", QJsonArray()},
                                              {"error", QStringLiteral("the line's database cannot be reached")}})
                        .toJson(QJsonDocument::Compact));
            ended(lookIntervalMs);
            continue;
        }
        refresh(connection);
        waitForChanges(connection);
    }
}

bool LiveFeed::listen(PgConnection &connection)
{
    QString error;
    return connection.open(url, error) && connection.exec(QStringLiteral("LISTEN morlank_live")).ok;
}

// Until a notification and those that follow it closely, or the next look.
void LiveFeed::waitForChanges(PgConnection &connection)
{
    PgConnection::Notification heard;
    if (!connection.nextNotification(lookIntervalMs, heard))
        return;
    QElapsedTimer since;
    since.start();
    do
        recordsCame = recordsCame || heard.payload.isEmpty(); // records name no station
    while (since.elapsed() < coalesceMs && connection.nextNotification(int(coalesceMs - since.elapsed()), heard));
}

bool LiveFeed::todayDue() const
{
    return !sinceToday.isValid() || sinceToday.elapsed() >= todayLongestMs
           || (recordsCame && sinceToday.elapsed() >= todayShortestMs);
}

void LiveFeed::refresh(PgConnection &connection)
{
    QJsonArray stations;
    QString error;
    if (!LiveStations::read(connection, stations, error))
        return;
    if (todayDue()) {
        sinceToday.start();
        recordsCame = false;
        todayError.clear();
        if (!LineToday::read(url, QDateTime::currentDateTime(), today, todayError))
            today = Figures();
    }
    QJsonObject line{{"stations", inSlotOrder(stations)}, {"today", LineToday::toJson(today)},
                     {"silent_after_seconds", LiveStations::silentAfterSeconds}};
    if (!todayError.isEmpty())
        line.insert(QStringLiteral("error"), todayError);
    publish(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

void LiveFeed::publish(const QByteArray &text)
{
    auto made = std::make_shared<const std::string>(text.toStdString());
    std::lock_guard<std::mutex> lock(mutex);
    if (*made == *json)
        return;
    json = std::move(made);
    ++number;
    changed.notify_all();
}

// Waits up to `ms` for the end; true once ended.
bool LiveFeed::ended(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ending; });
    return ending;
}
