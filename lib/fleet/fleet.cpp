#include "fleet/fleet.h"

#include "fleet/portworker.h"

#include <QCalendar>

#include <algorithm>

Fleet::Fleet(const QStringList &portNames)
{
    // Qt 5 fills in its table of calendars on first use without a lock: two
    // devices formatting or parsing a clock text at once could get an empty
    // text. Filled in here, before any thread starts.
    QCalendar();
    for (const QString &name : portNames) {
        workers.push_back(std::make_unique<PortWorker>(name, stop));
        workers.back()->startProbing();
    }
}

// The workers close their ports and are waited for.
Fleet::~Fleet() = default;

QStringList Fleet::portNames() const
{
    QStringList names;
    for (const auto &worker : workers)
        names << worker->portName();
    return names;
}

bool Fleet::hasProbed() const
{
    return std::all_of(workers.cbegin(), workers.cend(),
                       [](const auto &worker) { return worker->hasProbed(); });
}

QVector<DeviceLink::Probe> Fleet::probes() const
{
    QVector<DeviceLink::Probe> found;
    for (const auto &worker : workers)
        found << worker->probe();
    return found;
}

Fleet::Selection Fleet::select(bool named, bool all) const
{
    Selection selection;
    for (const auto &worker : workers) {
        const bool device = worker->probe() == DeviceLink::Probe::Device;
        selection.served << device;
        if (device)
            selection.answering << worker->portName();
    }
    if (selection.answering.isEmpty())
        selection.outcome = Selection::NoDevice;
    else if (selection.answering.size() > 1 && !named && !all)
        selection.outcome = Selection::SeveralDevices;
    else
        selection.outcome = Selection::Serve;
    if (selection.outcome != Selection::Serve)
        selection.served.fill(false);
    return selection;
}

void Fleet::serve(const QVector<DeviceJob *> &jobs)
{
    for (size_t i = 0; i < workers.size(); ++i)
        workers[i]->serve(jobs.value(int(i)));
}

bool Fleet::hasFinished() const
{
    return std::all_of(workers.cbegin(), workers.cend(),
                       [](const auto &worker) { return worker->hasFinished(); });
}

bool Fleet::hasFinished(int port) const
{
    return workers.at(size_t(port))->hasFinished();
}

void Fleet::interrupt()
{
    stop = true;
}
