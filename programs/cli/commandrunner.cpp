#include "cli/commandrunner.h"

#include "base/naturalorder.h"
#include "cli/progressdisplay.h"
#include "cli/report.h"
#include "device/portlist.h"
#include "jobs/clockreadjob.h"
#include "jobs/clockwritejob.h"
#include "jobs/configuration.h"
#include "jobs/downloadjob.h"
#include "cli/runrecords.h"
#include "line/recordsender.h"
#include "line/runconfiguration.h"
#include "serving/unitjob.h"
#include "serving/unitstores.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

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
    case Request::DbStatus:
    case Request::DbGrant:
    case Request::DbSet:
    case Request::DbAudit:
    case Request::ReleaseAdd:
    case Request::ReleaseList:
    case Request::ReleaseShow:
    case Request::ReleaseRevoke:
    case Request::OrderAdd:
    case Request::OrderList:
    case Request::OrderClose:
    case Request::Serve: break;
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
    const QStringList ports = candidates();
    QVector<bool> served;
    int status = 0;
    if (!probeAndChoose(ports, served, status))
        return status;
    const auto done = startJobs<ClockReadJob>(served, [](int) { return std::make_unique<ClockReadJob>(); });
    waitUntil([this] { return fleet->hasFinished(); });
    const QJsonObject result =
        Report::withProbes(Report::clockGet(ports, done, !request.ports.isEmpty()), ports, fleet->probes());
    return finish(result, Report::clockGetText, status);
}

int CommandRunner::clockSet()
{
    UnitStores stores({request.db, request.log, {}, request.operatorName});
    if (!openRecords(stores))
        return 2;
    UnitPlan plan = planOf();
    plan.setClock = true;
    plan.clock = request.clock;
    plan.verify = request.verify;
    const QStringList ports = candidates();
    QVector<bool> served;
    int status = 0;
    if (!probeAndChoose(ports, served, status))
        return status;
    RunRecords records(stores.log());
    const QVector<const UnitJob *> units = serveUnits(plan, records, served);
    QVector<const ClockWriteJob::Result *> results;
    for (const UnitJob *unit : units)
        results << (unit ? unit->service().clockResult() : nullptr);
    const QJsonObject result =
        Report::withProbes(Report::clockSet(ports, results, !request.ports.isEmpty()), ports, fleet->probes());
    recordRun(plan, records, ports, units, status);
    return sendRecords(stores, finish(result, Report::clockSetText, status));
}

// The file, the per-unit values and the log are checked before any port is
// opened.
int CommandRunner::download()
{
    RunConfiguration run;
    QString error;
    if (!run.load(request.db, request.file, request.release, error)) {
        printError(error);
        return 2;
    }
    const Configuration &configuration = run.configuration;
    const auto commandTemplate =
        std::make_shared<const CommandTemplate>(configuration.commands, configuration.lineNumbers);
    const bool valuesGiven = !request.values.list.isEmpty() || !request.values.counters.isEmpty();
    if (request.dryRun && commandTemplate->hasPlaceholders() && !valuesGiven)
        return finish(Report::placeholders(configuration.file, commandTemplate->placeholders()), Report::placeholdersText, 1);
    UnitStores stores({request.db, request.log, request.values, request.operatorName});
    if (!stores.openValues(*commandTemplate, error)) {
        printError(error);
        return 2;
    }
    if (!stores.notice().isEmpty())
        printError(stores.notice());
    if (request.dryRun)
        return dryRun(configuration, *commandTemplate, *stores.values());
    if (!openRecords(stores))
        return 2;
    UnitPlan plan = planOf();
    plan.file = run.file;
    plan.release = run.release;
    plan.fileSha256 = configuration.sha256;
    plan.commands = configuration.commands;
    plan.lineNumbers = configuration.lineNumbers;
    if (stores.values()->isInUse()) {
        plan.commandTemplate = commandTemplate;
        plan.values = stores.values();
    }
    const QStringList ports = candidates();
    QVector<bool> served;
    int status = 0;
    if (!probeAndChoose(ports, served, status))
        return status;
    RunRecords records(stores.log());
    std::unique_ptr<ProgressDisplay> progress;
    const auto show = [&](const QVector<const UnitJob *> &units) {
        if (!progress) {
            QStringList shown;
            for (int i = 0; i < units.size(); ++i) {
                if (units.at(i))
                    shown << ports.at(i);
            }
            progress = std::make_unique<ProgressDisplay>(shown, configuration.commands.size(), request.quiet);
            live = progress.get();
        }
        QVector<ProgressDisplay::Device> devices;
        for (int i = 0; i < units.size(); ++i) {
            if (units.at(i))
                devices << ProgressDisplay::Device{units.at(i)->commandsDone(), units.at(i)->failuresSoFar(),
                                                   fleet->hasFinished(i)};
        }
        progress->show(devices);
    };
    const QVector<const UnitJob *> units = serveUnits(plan, records, served, show);
    live = nullptr;
    QJsonObject report = Report::download(configuration.file, configuration.commands.size(), ports,
                                          downloadResults(units), !request.ports.isEmpty());
    report = Report::withProbes(withValues(report, ports, units, plan), ports, fleet->probes());
    recordRun(plan, records, ports, units, status);
    return sendRecords(stores, finish(report, Report::downloadText, status));
}

// The commands as the next device would get them, nothing reserved.
int CommandRunner::dryRun(const Configuration &configuration, const CommandTemplate &commandTemplate,
                          ValueSource &values)
{
    if (!values.isInUse())
        return finish(Report::dryRun(configuration.file, configuration.commands, configuration.lineNumbers),
                      Report::dryRunText, 0);
    const ValueSource::Reservation next = values.peek();
    QStringList filled;
    QString error = next.error;
    if (next.outcome != ValueSource::Reservation::Assigned
        || !commandTemplate.fill(next.assignment, filled, error)) {
        printError(error);
        return 1;
    }
    return finish(Report::dryRun(configuration.file, filled, configuration.lineNumbers, next.assignment.toJson()),
                  Report::dryRunText, 0);
}

bool CommandRunner::openRecords(UnitStores &stores)
{
    QString error;
    if (stores.openRecords(error))
        return true;
    printError(error);
    return false;
}

UnitPlan CommandRunner::planOf() const
{
    UnitPlan plan;
    plan.stationName = QSysInfo::machineHostName();
    plan.operatorName = request.operatorName;
    plan.version = QCoreApplication::applicationVersion();
    return plan;
}

QVector<const UnitJob *> CommandRunner::serveUnits(const UnitPlan &plan, RunRecords &records,
                                                   const QVector<bool> &served, const UnitsTick &tick)
{
    QVector<DeviceJob *> run;
    QVector<const UnitJob *> units;
    for (int port = 0; port < served.size(); ++port) {
        std::unique_ptr<UnitJob> unit =
            served.at(port) ? std::make_unique<UnitJob>(plan, records, fleet->portNames().at(port)) : nullptr;
        const bool given = unit && unit->giveValues() <= UnitService::Values::Given;
        run << (given ? unit.get() : nullptr);
        units << unit.get();
        jobs.push_back(std::move(unit));
    }
    fleet->serve(run);
    const auto show = [&] {
        if (tick)
            tick(units);
    };
    waitUntil([this] { return fleet->hasFinished(); }, show);
    show();
    return units;
}

// A device refused its values is listed, with nothing sent, even when it
// was not named: it was chosen, and has failed.
QVector<const DownloadJob::Result *> CommandRunner::downloadResults(const QVector<const UnitJob *> &units)
{
    static const DownloadJob::Result nothingSent;
    QVector<const DownloadJob::Result *> results;
    for (const UnitJob *unit : units) {
        const DownloadJob::Result *result = unit ? unit->service().downloadResult() : nullptr;
        results << (result || !unit || unit->service().valuesError().isEmpty() ? result : &nothingSent);
    }
    return results;
}

// Each device with the values it got, and those refused theirs as failed.
QJsonObject CommandRunner::withValues(const QJsonObject &report, const QStringList &ports,
                                      const QVector<const UnitJob *> &units, const UnitPlan &plan)
{
    QHash<QString, QJsonValue> given;
    QHash<QString, QString> refused;
    for (int i = 0; i < units.size(); ++i) {
        if (!units.at(i) || !plan.values)
            continue;
        given.insert(ports.at(i), units.at(i)->service().values());
        if (!units.at(i)->service().valuesError().isEmpty())
            refused.insert(ports.at(i), units.at(i)->service().valuesError());
    }
    return Report::withValues(report, given, refused);
}

void CommandRunner::recordRun(const UnitPlan &plan, RunRecords &records, const QStringList &ports,
                              const QVector<const UnitJob *> &units, int &status)
{
    QString error;
    for (int i = 0; i < ports.size() && error.isEmpty(); ++i) {
        if (units.at(i) && !units.at(i)->attempt().kept)
            error = units.at(i)->attempt().keepError;
        else if (!units.at(i) && !request.ports.isEmpty())
            UnitService::keepNotFound(plan, records, ports.at(i), error);
    }
    for (const QString &notice : records.takeNotices())
        printError(notice);
    if (error.isEmpty())
        return;
    printError(QStringLiteral("cannot write the log %1: %2. The results below are not in it.").arg(request.log, error));
    status = 1;
}

int CommandRunner::sendRecords(UnitStores &stores, int status)
{
    RecordSender *sender = stores.sender();
    if (!sender)
        return status;
    sender->writingDone();
    sender->start();
    const int signalBefore = signalNumber;
    QElapsedTimer waited;
    waited.start();
    waitUntil([&] { return sender->hasSentAll() || waited.elapsed() > 30000 || signalNumber != signalBefore; });
    sender->end();
    const QString left = sender->leftBehind();
    if (left.isEmpty())
        return status;
    printError(left + QStringLiteral("; the next run with --db sends them."));
    return 1;
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
