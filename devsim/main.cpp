#include "commandlog.h"
#include "deviceprotocol.h"
#include "devsimcommandline.h"
#include "simulateddevice.h"
#include "terminationsignals.h"

#include <QCoreApplication>
#include <QTextStream>

#include <memory>
#include <vector>

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

    // Each device answers from its own protocol: its own clock and counters.
    std::vector<std::unique_ptr<DeviceProtocol>> protocols;
    std::vector<std::unique_ptr<SimulatedDevice>> devices;
    const QString tty = commandLine.ttyPath();
    for (int i = 0; i < commandLine.deviceCount(); ++i) {
        auto device = tty.isEmpty()
            ? std::make_unique<SimulatedDevice>()
            : std::make_unique<SimulatedDevice>(tty, SimulatedDevice::Responder());
        if (!device->isOpen()) {
            err << "morlank-devsim: cannot serve " << (tty.isEmpty() ? QStringLiteral("a pseudo-terminal") : tty)
                << ": " << device->errorString() << '\n';
            return 1;
        }
        protocols.push_back(std::make_unique<DeviceProtocol>(commandLine.settings()));
        DeviceProtocol *protocol = protocols.back().get();
        const QString logName = commandLine.servesFleet() ? device->portName() : QString();
        device->setResponder([protocol, &log, logName](const QByteArray &command) {
            const Reply reply = protocol->reply(command);
            log.record(logName, command, reply);
            return reply;
        });
        devices.push_back(std::move(device));
    }

    QTextStream out(stdout);
    QStringList paths;
    for (const auto &device : devices) {
        out << device->portName() << '\n';
        paths << device->portName();
    }
    out.flush();
    const QString what = devices.size() == 1 ? QStringLiteral("a simulated device")
                                             : QStringLiteral("%1 simulated devices").arg(devices.size());
    err << "Serving " << what << " on " << paths.join(QStringLiteral(", ")) << ". Press Ctrl-C to stop."
        << Qt::endl;
    return app.exec();
}
