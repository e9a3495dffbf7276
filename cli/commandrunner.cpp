#include "commandrunner.h"

#include "clockreadjob.h"
#include "clockwritejob.h"
#include "commandreader.h"
#include "downloadjob.h"
#include "portlist.h"
#include "progressdisplay.h"
#include "report.h"

#include <QEventLoop>
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

// Names with their runs of digits compared as numbers, so that ttyUSB2 comes
// before ttyUSB10; the same in every locale. Where two names read the same
// (ttyS01, ttyS1), plain order decides.
bool naturalLess(const QString &a, const QString &b)
{
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    // The run of digits at `at` without its leading zeros; moves `at` past it.
    const auto number = [&](const QString &text, int &at) {
        while (at + 1 < text.size() && text.at(at) == QLatin1Char('0') && isDigit(text.at(at + 1)))
            ++at;
        const int from = at;
        while (at < text.size() && isDigit(text.at(at)))
            ++at;
        return QStringView(text).mid(from, at - from);
    };
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a.at(i)) && isDigit(b.at(j))) {
            const QStringView m = number(a, i);
            const QStringView n = number(b, j);
            if (m.size() != n.size())
                return m.size() < n.size();
            if (m != n)
                return m < n;
        } else if (a.at(i) != b.at(j)) {
            return a.at(i) < b.at(j);
        } else {
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
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
    case Request::Watch: break;
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
    return serveClock<ClockReadJob>([] { return std::make_unique<ClockReadJob>(); }, Report::clockGet,
                                    Report::clockGetText);
}

int CommandRunner::clockSet()
{
    return serveClock<ClockWriteJob>(
        [this] { return std::make_unique<ClockWriteJob>(request.clock, request.verify); }, Report::clockSet,
        Report::clockSetText);
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
    return finish(Report::withProbes(report(ports, done, !request.ports.isEmpty()), ports, fleet->probes()), text,
                  status);
}

// The file is read and checked before any port is opened.
int CommandRunner::download()
{
    QStringList commands;
    QVector<int> lineNumbers;
    QString error;
    if (!readCommandFile(request.file, commands, lineNumbers, error)) {
        printError(QStringLiteral("cannot read %1: %2. Check the file's name and that you may read it.")
                       .arg(request.file, error));
        return 2;
    }
    if (commands.size() < 3) {
        printError(QStringLiteral("%1 holds %2 command(s); a download needs at least three, so nothing was "
                                  "sent. Command lines are those that contain ZEL#.")
                       .arg(request.file)
                       .arg(commands.size()));
        return 2;
    }
    if (request.dryRun)
        return finish(Report::dryRun(request.file, commands, lineNumbers), Report::dryRunText, 0);

    const QStringList ports = candidates();
    QVector<bool> served;
    int status = 0;
    if (!probeAndChoose(ports, served, status))
        return status;
    QStringList servedPorts;
    for (int i = 0; i < ports.size(); ++i) {
        if (served.at(i))
            servedPorts << ports.at(i);
    }
    ProgressDisplay progress(servedPorts, commands.size(), request.quiet);
    const auto done = startJobs<DownloadJob>(
        served, [&] { return std::make_unique<DownloadJob>(commands, lineNumbers); });
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
    const QJsonObject report = Report::download(request.file, commands.size(), ports, done, !request.ports.isEmpty());
    return finish(Report::withProbes(report, ports, fleet->probes()), Report::downloadText, status);
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
    for (const bool device : served) {
        std::unique_ptr<Job> job = device ? make() : nullptr;
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
