#include "station/revocationwatch.h"

#include "line/linereleases.h"
#include "station/stationcontrol.h"

namespace {
// Often enough that a revoked revision stops every station within 10 s,
// a connection that must be opened again included.
const int lookIntervalMs = 2000;
} // namespace

RevocationWatch::RevocationWatch(const QString &d, const QString &r, StationControl &c)
    : db(d)
    , release(r)
    , control(c)
{
}

RevocationWatch::~RevocationWatch()
{
    end();
    wait();
}

void RevocationWatch::end()
{
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
    wake.notify_all();
}

// A database that cannot be reached is asked again at the next look: the
// records wait for it as well.
void RevocationWatch::run()
{
    QString name;
    int revision = 0;
    QString error;
    if (!LineReleases::parseReference(release, name, revision, error))
        return;
    PgConnection connection;
    while (waitForNextLook()) {
        if (!connection.isOpen() && !connection.open(db, error))
            continue;
        LineReleases::Release found;
        if (LineReleases(connection).find(name, revision, false, found, error) && found.isRevoked()) {
            control.halt(QStringLiteral("the release ") + found.revocation());
            return;
        }
    }
}

bool RevocationWatch::waitForNextLook()
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(lookIntervalMs), [this] { return ending; });
}
