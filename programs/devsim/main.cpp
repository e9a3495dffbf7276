#include "console/terminationsignals.h"
#include "devsim/commandlog.h"
#include "devsim/devicerack.h"
#include "devsim/devsimcommandline.h"
#include "devsim/standardinputlines.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    StandardInputLines::keepOpen();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morlank-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORLANK_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    DevsimCommandLine commandLine;
    if (!commandLine.process(app))
        return 2;
    CommandLog log;
    if (!commandLine.logPath().isEmpty() && !log.open(commandLine.logPath())) {
        err << "morlank-devsim: cannot write the log: " << log.errorString() << '\n';
        return 1;
    }

    // Caught before the line is offered, so a Ctrl-C always ends cleanly.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, &QCoreApplication::quit);

    DeviceRack rack(commandLine, log);
    if (!rack.open()) {
        err << "morlank-devsim: " << rack.errorString() << '\n';
        return 1;
    }
    for (const QString &path : rack.paths())
        out << path << '\n';
    out.flush();
    err << rack.description() << Qt::endl;

    StandardInputLines input;
    QObject::connect(&input, &StandardInputLines::lineRead,
                     [&](const QByteArray &line) { rack.carryOut(line, out, err); });
    return app.exec();
}
