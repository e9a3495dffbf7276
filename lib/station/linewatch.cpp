#include "station/linewatch.h"

#include "line/linereleases.h"
#include "line/orderclaims.h"
#include "station/stationcontrol.h"

#include <QElapsedTimer>

namespace {
// An order's claims are looked at every second, so that a complete order
// stops every station within about one.
const int lookIntervalMs = 1000;
// Often enough that a revoked revision stops every station within 10 s,
// a connection that must be opened again included.
const int revocationIntervalMs = 2000;
} // namespace

LineWatch::LineWatch(const QString &d, const QString &r, std::shared_ptr<OrderClaims> c, StationControl &s)
    : db(d)
    , release(r)
    , claims(std::move(c))
    , control(s)
{
}

LineWatch::~LineWatch()
{
    end();
}

void LineWatch::start()
{
    thread = std::thread([this] { run(); });
}

void LineWatch::end()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
        wake.notify_all();
    }
    if (thread.joinable())
        thread.join();
}

// A database that cannot be reached is asked again at the next look: the
// records wait for it as well.
void LineWatch::run()
{
    PgConnection connection;
    QElapsedTimer sinceRevocationLook;
    while (waitForNextLook()) {
        if (claims && claims->tick()) {
            control.halt(claims->completeText());
            return;
        }
        if (release.isEmpty() || (sinceRevocationLook.isValid() && sinceRevocationLook.elapsed() < revocationIntervalMs))
            continue;
        sinceRevocationLook.start();
        if (revoked(connection))
            return;
    }
}

bool LineWatch::revoked(PgConnection &connection)
{
    QString name;
    int revision = 0;
    QString error;
    if (!LineReleases::parseReference(release, name, revision, error))
        return false;
    if (!connection.isOpen() && !connection.open(db, error))
        return false;
    LineReleases::Release found;
    if (!LineReleases(connection).find(name, revision, false, found, error) || !found.isRevoked())
        return false;
    control.halt(QStringLiteral("the release ") + found.revocation());
    return true;
}

bool LineWatch::waitForNextLook()
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(lookIntervalMs), [this] { return ending; });
}
