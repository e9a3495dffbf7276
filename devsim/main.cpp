#include "commandlog.h"
#include "deviceprotocol.h"
#include "devsimcommandline.h"
#include "simulateddevice.h"
#include "terminationsignals.h"

#include <QCoreApplication>
#include <QTextStream>

#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morlank-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORLANK_VERSION));
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

    DeviceProtocol protocol(commandLine.settings());
    const SimulatedDevice::Responder respond = [&](const QByteArray &command) {
        const Reply reply = protocol.reply(command);
        log.record(command, reply);
        return reply;
    };
    const QString tty = commandLine.ttyPath();
    const auto device = tty.isEmpty() ? std::make_unique<SimulatedDevice>(respond)
                                      : std::make_unique<SimulatedDevice>(tty, respond);
    if (!device->isOpen()) {
        err << "morlank-devsim: cannot serve " << (tty.isEmpty() ? QStringLiteral("a pseudo-terminal") : tty)
            << ": " << device->errorString() << '\n';
        return 1;
    }

    QTextStream(stdout) << device->portName() << Qt::endl;
    err << "Serving a simulated device on " << device->portName() << ". Press Ctrl-C to stop." << Qt::endl;
    return app.exec();
}
