#ifndef LIVESTATIONS_H
#define LIVESTATIONS_H

#include "line/pgconnection.h"

#include <QJsonArray>
#include <QString>

// The line's stations as they published themselves (morlank.live_stations
// and live_slots), for whoever watches the line: each station with `station`,
// `host`, `version`, `silent` (no heartbeat for more than 15 s by the
// server's clock), `last_seen`, `records_waiting` and its `slots`, each with
// `slot`, `state`, `unit`, `progress`, `total`, `line`, `since`, `release`
// and `order`.
class LiveStations
{
public:
    static constexpr int silentAfterSeconds = 15;

    // False, with the reason, on a fault.
    static bool read(PgConnection &connection, QJsonArray &stations, QString &error);
};

#endif // LIVESTATIONS_H
