#include "cli/servecommand.h"

#include "console/terminationsignals.h"
#include "line/databaseurl.h"
#include "line/lineschema.h"
#include "line/livestations.h"
#include "line/pgconnection.h"
#include "linepage/lineserver.h"
#include "linepage/livefeed.h"

#include <QEventLoop>
#include <QTextStream>

#include <thread>

namespace {
void say(const QString &message)
{
    QTextStream(stderr) << QStringLiteral("morlank-cli: ") << message << '\n' << Qt::flush;
}
} // namespace

ServeCommand::ServeCommand(const Request &r)
    : request(r)
{
}

int ServeCommand::run()
{
    QString error;
    if (!checkDatabase(error)) {
        say(QStringLiteral("cannot serve the line of %1: %2").arg(DatabaseUrl::masked(request.db), error));
        return 2;
    }
    LineServer::Settings settings;
    settings.address = request.listenAddress;
    settings.port = request.listenPort;
    settings.token = request.token;
    LiveFeed feed(request.db);
    LineServer server(request.db, settings, feed);
    if (!server.bind(error)) {
        say(error + QLatin1Char('.'));
        return 2;
    }
    feed.start();
    const QString host = settings.address.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(settings.address)
                                                                     : settings.address;
    say(QStringLiteral("serving the line of %1 on http://%2:%3/%4 (Ctrl-C stops)")
            .arg(DatabaseUrl::masked(request.db), host)
            .arg(server.port())
            .arg(settings.token.isEmpty() ? QString() : QStringLiteral(" to those who give the token")));
    QEventLoop loop;
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &loop, &QEventLoop::quit);
    std::thread serving([&server] { server.serve(); });
    loop.exec();
    server.stop();
    serving.join();
    return 0;
}

// The schema of this version, and a role that may read the live state.
bool ServeCommand::checkDatabase(QString &error) const
{
    PgConnection db;
    QString why;
    if (!db.open(request.db, why)) {
        error = QStringLiteral("%1 (the server or libpq said: %2)").arg(PgConnection::remedy(db.fault()), why);
        return false;
    }
    const int found = LineSchema::installedVersion(db, why);
    if (found != LineSchema::version) {
        error = LineSchema::versionRemedy(found, why);
        return false;
    }
    QJsonArray stations;
    if (LiveStations::read(db, stations, why))
        return true;
    error = QStringLiteral("the role may not read the line's live state: it needs the role morlank_reader "
                           "(morlank-cli db grant LOGIN reader) (%1)")
                .arg(why);
    return false;
}
