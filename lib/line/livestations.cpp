#include "line/livestations.h"

#include <QJsonDocument>

namespace {
// One statement, one JSON text: the server builds the whole list.
const QString stationsJson = QStringLiteral(
    "SELECT coalesce(json_agg(json_build_object("
    " 'station', s.station, 'host', s.host, 'version', s.version,"
    " 'silent', s.last_seen < now() - make_interval(secs => $1::integer), 'last_seen', s.last_seen,"
    " 'started_at', s.started_at, 'records_waiting', s.records_waiting,"
    " 'slots', (SELECT coalesce(json_agg(json_build_object("
    "   'slot', l.slot, 'state', l.state, 'unit', l.unit, 'progress', l.progress, 'total', l.total,"
    "   'line', l.line, 'since', l.since, 'release', l.release, 'order', l.order_name) ORDER BY l.slot), '[]')"
    "  FROM morlank.live_slots l WHERE l.station = s.station)) ORDER BY s.station), '[]')"
    " FROM morlank.live_stations s");
} // namespace

bool LiveStations::read(PgConnection &connection, QJsonArray &stations, QString &error)
{
    const PgConnection::Result result = connection.exec(stationsJson, {QString::number(silentAfterSeconds)});
    if (!result.ok) {
        error = result.error;
        return false;
    }
    stations = QJsonDocument::fromJson(result.value().toUtf8()).array();
    return true;
}
