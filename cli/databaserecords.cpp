#include "databaserecords.h"

// This build reads logs only: the line's database engine is not part of it.
// Plug the engine's reader of morlank.attempts in here; the figures need
// nothing else from it.
std::unique_ptr<RecordSource> databaseRecords(const QString &url, QString &error)
{
    Q_UNUSED(url)
    error = QStringLiteral("--db: this morlank-cli cannot read a database yet; give the stations' logs instead.");
    return nullptr;
}
