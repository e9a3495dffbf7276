#include "cli/commandrunner.h"

#include "base/naturalorder.h"
#include "cli/progressdisplay.h"
#include "cli/report.h"
#include "device/portlist.h"
#include "jobs/clockreadjob.h"
#include "jobs/clockwritejob.h"
#include "jobs/configuration.h"
#include "jobs/downloadjob.h"
#include "line/databasevalues.h"
#include "line/lineschema.h"
#include "line/recordsender.h"
#include "records/attemptrecord.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace {
// How often the main thread looks at the devices: often enough that waiting
// for it adds nothing one notices, seldom enough to cost no CPU.
const int lookIntervalMs = 20;

const QString noPortListed =
    QStringLiteral("the system lists no serial port. Plug the device in, or name its port with --port.");

void printOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString errorText(const QString &message)
{
    return QStringLiteral("morlank-cli: %1\n").arg(message);
}

void printError(const QString &message)
{
    const QByteArray bytes = errorText(message).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}
} // namespace

CommandRunner::CommandRunner(const Request &r)
    : request(r)
{
}

int CommandRunner::run()
{
    switch (request.command) {
    case Request::Ports: return ports();
    case Request::ClockGet: return clockGet();
    case Request::ClockSet: return clockSet();
    case Request::Download:
    case Request::Watch:
    case Request::Report:
    case Request::DbInit:
    case Request::DbStatus: break;
    }
    return download();
}

int CommandRunner::ports()
{
    const QStringList ports = candidates();
    startProbing(ports);
    waitUntil([this] { return fleet->hasProbed(); });
    fleet->serve({});
    const QVector<DeviceLink::Probe> probes = fleet->probes();
    int status = probes.contains(DeviceLink::Probe::Device) ? 0 : 3;
    if (status == 0 && !request.ports.isEmpty() && probes.count(DeviceLink::Probe::Device) < probes.size())
        status = 1;
    if (ports.isEmpty())
        printError(noPortListed);
    return finish(Report::ports(ports, probes), Report::portsText, status);
}

int CommandRunner::clockGet()
{
    return serveClock<ClockReadJob>([](int) { return std::make_unique<ClockReadJob>(); }, Report::clockGet,
                                    Report::clockGetText);
}

int CommandRunner::clockSet()
{
    if (!openLog())
        return 2;
    return sendRecords(serveClock<ClockWriteJob>(
        [this](int) { return std::make_unique<ClockWriteJob>(request.clock, request.verify); }, Report::clockSet,
        Report::clockSetText));
}

template<typename Job, typename Make, typename ReportOf>
int CommandRunner::serveClock(Make make, ReportOf report, TextOf text)
{
    const QStringList ports = candidates();
    QVector<bool> served;
    int status = 0;
    if (!probeAndChoose(ports, served, status))
        return status;
    const auto done = startJobs<Job>(served, make);
    waitUntil([this] { return fleet->hasFinished(); });
    const QJsonObject result = Report::withProbes(report(ports, done, !request.ports.isEmpty()), ports, fleet->probes());
    keepRecords(result, [&](const QString &port, AttemptRecord &record) {
        if constexpr (std::is_same_v<Job, ClockWriteJob>) {
            const ClockWriteJob *job = done.value(ports.indexOf(port));
            record.clock = job ? &job->result() : nullptr;
        }
    }, status);
    return finish(result, text, status);
}

// The file, the per-unit values and the log are checked before any port is
// opened.
int CommandRunner::download()
{
    Configuration configuration;
    QString error;
    if (!configuration.load(request.file, error)) {
        printError(error);
        return 2;
    }
    const CommandTemplate commandTemplate(configuration.commands, configuration.lineNumbers);
    const bool valuesGiven = !request.values.list.isEmpty() || !request.values.counters.isEmpty();
    if (request.dryRun && commandTemplate.hasPlaceholders() && !valuesGiven)
        return finish(Report::placeholders(request.file, commandTemplate.placeholders()), Report::placeholdersText, 1);
    const std::unique_ptr<ValueSource> source = openValues(commandTemplate, error);
    if (!source) {
        printError(error);
        return 2;
    }
    ValueSource &values = *source;
    if (request.dryRun)
        return dryRun(configuration, commandTemplate, values);
    if (!openLog())
        return 2;

    const QStringList ports = candidates();
    QVector<bool> served;
    int status = 0;
    if (!probeAndChoose(ports, served, status))
        return status;
    QHash<QString, QJsonValue> given;
    QHash<QString, QString> refused;
    const auto done = startJobs<DownloadJob>(served, [&](int port) -> std::unique_ptr<DownloadJob> {
        QStringList commands = configuration.commands;
        if (values.isInUse() && !giveValues(ports.at(port), values, commandTemplate, commands, given, refused))
            return nullptr;
        return std::make_unique<DownloadJob>(commands, configuration.lineNumbers);
    });
    QStringList servedPorts;
    for (int i = 0; i < ports.size(); ++i) {
        if (done.at(i))
            servedPorts << ports.at(i);
    }
    ProgressDisplay progress(servedPorts, configuration.commands.size(), request.quiet);
    const auto show = [&] {
        QVector<ProgressDisplay::Device> devices;
        for (int i = 0; i < done.size(); ++i) {
            if (done.at(i))
                devices << ProgressDisplay::Device{done.at(i)->commandsDone(), done.at(i)->failuresSoFar(),
                                                   fleet->hasFinished(i)};
        }
        progress.show(devices);
    };
    live = &progress;
    waitUntil([this] { return fleet->hasFinished(); }, show);
    show();
    live = nullptr;
    QJsonObject report = Report::download(request.file, configuration.commands.size(), ports, done,
                                          !request.ports.isEmpty());
    report = Report::withProbes(Report::withValues(report, given, refused), ports, fleet->probes());
    const QString file = QFileInfo(request.file).absoluteFilePath();
    keepRecords(report, [&](const QString &port, AttemptRecord &record) {
        const DownloadJob *job = done.value(ports.indexOf(port));
        record.file = file;
        record.fileSha256 = configuration.sha256;
        record.commands = int(configuration.commands.size());
        record.download = job ? &job->result() : nullptr;
        if (job)
            record.ended = record.started.addMSecs(qint64(job->result().seconds * 1000));
    }, status);
    return sendRecords(finish(report, Report::downloadText, status));
}

// From the state file, or with --db from the line's database once it is
// known to be usable.
std::unique_ptr<ValueSource> CommandRunner::openValues(const CommandTemplate &commandTemplate, QString &error)
{
    if (request.db.isEmpty()) {
        auto values = std::make_unique<ValueReservations>();
        return values->open(request.values, commandTemplate, error) ? std::move(values) : nullptr;
    }
    const bool valuesGiven = !request.values.list.isEmpty() || !request.values.counters.isEmpty();
    auto values = std::make_unique<DatabaseValues>(request.db, QSysInfo::machineHostName());
    if (!LineSchema::checkUse(request.db, valuesGiven, error) || !values->open(request.values, commandTemplate, error))
        return nullptr;
    if (!values->notice().isEmpty())
        printError(values->notice());
    return values;
}

// The values reserved for the device at `port`, filled into its commands;
// false, with the reason in `refused`, when it gets none.
bool CommandRunner::giveValues(const QString &port, ValueSource &values, const CommandTemplate &commandTemplate,
                               QStringList &commands, QHash<QString, QJsonValue> &given,
                               QHash<QString, QString> &refused)
{
    const QString attemptId = AttemptRecord::newAttemptId();
    attemptIds.insert(port, attemptId);
    const ValueSource::Reservation reservation =
        values.reserve({portInfo(port).serialNumber, port, QString(), attemptId});
    QString error = reservation.error;
    if (reservation.outcome == ValueSource::Reservation::Assigned) {
        given.insert(port, reservation.assignment.toJson());
        if (commandTemplate.fill(reservation.assignment, commands, error))
            return true;
    }
    refused.insert(port, error);
    return false;
}

// The commands as the next device would get them, nothing reserved.
int CommandRunner::dryRun(const Configuration &configuration, const CommandTemplate &commandTemplate,
                          ValueSource &values)
{
    if (!values.isInUse())
        return finish(Report::dryRun(request.file, configuration.commands, configuration.lineNumbers),
                      Report::dryRunText, 0);
    const ValueSource::Reservation next = values.peek();
    QStringList filled;
    QString error = next.error;
    if (next.outcome != ValueSource::Reservation::Assigned
        || !commandTemplate.fill(next.assignment, filled, error)) {
        printError(error);
        return 1;
    }
    return finish(Report::dryRun(request.file, filled, configuration.lineNumbers, next.assignment.toJson()),
                  Report::dryRunText, 0);
}

// With --db and no log, the spool: every record is on this computer's
// disk before the database has it.
bool CommandRunner::openLog()
{
    QString error;
    if (!request.db.isEmpty() && request.command == Request::ClockSet && !LineSchema::checkUse(request.db, false, error)) {
        printError(error);
        return false;
    }
    logFile = request.log.isEmpty() && !request.db.isEmpty() ? RecordSender::spoolPath() : request.log;
    if (logFile.isEmpty() || log.open(logFile, error))
        return true;
    printError(error);
    return false;
}

int CommandRunner::sendRecords(int status)
{
    if (request.db.isEmpty())
        return status;
    RecordSender sender(request.db, logFile, request.log.isEmpty());
    sender.start();
    const int signalBefore = signalNumber;
    QElapsedTimer waited;
    waited.start();
    waitUntil([&] { return sender.hasSentAll() || waited.elapsed() > 30000 || signalNumber != signalBefore; });
    sender.end();
    sender.wait();
    const int waiting = RecordSender::waitingIn(logFile);
    if (waiting == 0)
        return status;
    printError(QStringLiteral("%1 records wait for the database in %2; the next run with --db sends them.")
                   .arg(waiting)
                   .arg(logFile));
    return 1;
}

// One record per device listed, in the log before the result is printed; a
// record that cannot be written is an error of the whole run.
void CommandRunner::keepRecords(const QJsonObject &report,
                                const std::function<void(const QString &, AttemptRecord &)> &details, int &status)
{
    if (!log.isOpen())
        return;
    for (const QJsonValue device : report.value(QStringLiteral("devices")).toArray()) {
        const QString port = device[QStringLiteral("port")].toString();
        AttemptRecord record;
        record.attemptId = attemptIds.value(port, record.attemptId);
        record.started = jobsStarted;
        record.ended = QDateTime::currentDateTime();
        record.stationName = QSysInfo::machineHostName();
        record.slot = port;
        record.port = port;
        record.usb = portInfo(port);
        record.result = device[QStringLiteral("result")].toString();
        record.values = device[QStringLiteral("values")];
        record.error = device[QStringLiteral("error")].toString();
        record.version = QCoreApplication::applicationVersion();
        details(port, record);
        QString error;
        const bool kept = log.append(record.toJson(), error);
        const QString notice = log.takeNotice();
        if (!notice.isEmpty())
            printError(notice);
        if (!kept) {
            printError(QStringLiteral("cannot write the log %1: %2. The results below are not in it.")
                           .arg(request.log, error));
            status = 1;
            return;
        }
    }
}

// The named ports in the order given, else every port the system lists, by
// name in natural order.
QStringList CommandRunner::candidates() const
{
    if (!request.ports.isEmpty())
        return request.ports;
    QStringList names = availablePortNames();
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

// Until now a signal ended the program at once; from here on it reaches the
// event loop, so that each device can finish its command in flight.
void CommandRunner::startProbing(const QStringList &ports)
{
    termination = std::make_unique<TerminationSignals>();
    QObject::connect(termination.get(), &TerminationSignals::received, [this](int number) { onSignal(number); });
    fleet = std::make_unique<Fleet>(ports);
}

bool CommandRunner::probeAndChoose(const QStringList &ports, QVector<bool> &served, int &status)
{
    startProbing(ports);
    waitUntil([this] { return fleet->hasProbed(); });
    const Fleet::Selection selection = fleet->select(!request.ports.isEmpty(), request.all);
    served = selection.served;
    switch (selection.outcome) {
    case Fleet::Selection::Serve:
        return true;
    case Fleet::Selection::NoDevice:
        // Served with nothing to do, so that the result lists each named port
        // with what its probe found.
        printError(ports.isEmpty() ? noPortListed : Report::noDeviceText(ports, fleet->probes()));
        status = 3;
        return true;
    case Fleet::Selection::SeveralDevices:
        break;
    }
    printError(QStringLiteral("%1 devices answered: %2. Name the one to use with --port, or serve every "
                              "one with --all.")
                   .arg(selection.answering.size())
                   .arg(selection.answering.join(QStringLiteral(", "))));
    fleet->serve({});
    status = signalNumber ? 128 + signalNumber : 2;
    return false;
}

template<typename Job, typename Make>
QVector<const Job *> CommandRunner::startJobs(const QVector<bool> &served, Make make)
{
    QVector<DeviceJob *> run;
    QVector<const Job *> done;
    for (int port = 0; port < served.size(); ++port) {
        std::unique_ptr<Job> job = served.at(port) ? make(port) : nullptr;
        run << job.get();
        done << job.get();
        jobs.push_back(std::move(job));
    }
    jobsStarted = QDateTime::currentDateTime();
    fleet->serve(run);
    return done;
}

void CommandRunner::waitUntil(const std::function<bool()> &done, const std::function<void()> &tick)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (tick)
            tick();
        if (done())
            loop.quit();
    });
    look.start(lookIntervalMs);
    if (!done())
        loop.exec();
}

void CommandRunner::onSignal(int number)
{
    if (signalNumber)
        std::_Exit(128 + signalNumber);
    signalNumber = number;
    if (fleet)
        fleet->interrupt();
    const QString message =
        QStringLiteral("interrupted: each device finishes the command in flight and sends nothing more. %1")
            .arg(number == SIGTERM ? QStringLiteral("Send SIGTERM again (or press Ctrl-C) to stop at once.")
                                   : QStringLiteral("Press Ctrl-C again to stop at once."));
    if (live)
        live->printAbove(errorText(message));
    else
        printError(message);
}

int CommandRunner::finish(const QJsonObject &report, TextOf text, int status) const
{
    printOut(request.json ? Report::json(report) : text(report).toLocal8Bit());
    if (signalNumber)
        return 128 + signalNumber;
    return status ? status : Report::exitStatus(report);
}
