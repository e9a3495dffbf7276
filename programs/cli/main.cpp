#include "cli/clicommandline.h"
#include "cli/commandrunner.h"
#include "cli/dbcommand.h"
#include "cli/ordercommand.h"
#include "cli/releasecommand.h"
#include "cli/reportcommand.h"
#include "cli/servecommand.h"
#include "cli/watchcommand.h"
#include "console/terminationsignals.h"
#include "line/databaseurl.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Until the first port is opened nothing needs finishing: a signal ends
    // the program at once, whatever it is doing (reading a large file).
    TerminationSignals::exitAtOnce();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morlank-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORLANK_VERSION));
    // The link logs every answer for the window's debug log; here standard
    // error is the operator's.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    Request request;
    int status = 0;
    if (!CliCommandLine().parse(QCoreApplication::arguments(), request, status))
        return status;
    // Once, whichever option the URL came in.
    for (const QString &url : {request.db, request.station.db, request.report.database}) {
        const QString warning = DatabaseUrl::passwordWarning(url);
        if (!warning.isEmpty()) {
            std::fprintf(stderr, "morlank-cli: %s\n", qPrintable(warning));
            break;
        }
    }
    if (request.command == Request::DbInit || request.command == Request::DbStatus
        || request.command == Request::DbGrant || request.command == Request::DbSet
        || request.command == Request::DbAudit)
        return DbCommand(request).run();
    if (request.command == Request::OrderAdd || request.command == Request::OrderList
        || request.command == Request::OrderClose)
        return OrderCommand(request).run();
    if (request.command >= Request::ReleaseAdd && request.command <= Request::ReleaseRevoke)
        return ReleaseCommand(request).run();
    if (request.command == Request::Watch)
        return WatchCommand(request).run();
    if (request.command == Request::Report)
        return ReportCommand(request.report).run();
    if (request.command == Request::Serve)
        return ServeCommand(request).run();
    return CommandRunner(request).run();
}
