#ifndef COMMANDRUNNER_H
#define COMMANDRUNNER_H

#include "cli/request.h"
#include "console/terminationsignals.h"
#include "fleet/fleet.h"
#include "jobs/devicejob.h"
#include "jobs/downloadjob.h"
#include "serving/unitplan.h"

#include <QJsonObject>

class CommandTemplate;
struct Configuration;
class ProgressDisplay;
class RunRecords;
class UnitJob;
class UnitStores;
class ValueSource;

#include <functional>
#include <memory>
#include <vector>

// Carries out one checked request: reads its input, probes the candidate
// ports, serves the devices chosen, shows progress and prints the result.
// The first SIGINT or SIGTERM lets every device finish its command in flight;
// a second ends the program at once.
class CommandRunner
{
public:
    explicit CommandRunner(const Request &request);

    // The exit status.
    int run();

private:
    using TextOf = QString (*)(const QJsonObject &);

    int ports();
    int clockGet();
    int clockSet();
    int download();
    int dryRun(const Configuration &configuration, const CommandTemplate &commandTemplate, ValueSource &values);
    bool openRecords(UnitStores &stores);
    // What every device of this run is given, and its records say.
    UnitPlan planOf() const;
    using UnitsTick = std::function<void(const QVector<const UnitJob *> &)>;
    // Each chosen device served on the one road, its values reserved first
    // in the order of the ports; null where no device was chosen.
    QVector<const UnitJob *> serveUnits(const UnitPlan &plan, RunRecords &records, const QVector<bool> &served,
                                        const UnitsTick &tick = {});
    static QVector<const DownloadJob::Result *> downloadResults(const QVector<const UnitJob *> &units);
    static QJsonObject withValues(const QJsonObject &report, const QStringList &ports,
                                  const QVector<const UnitJob *> &units, const UnitPlan &plan);
    // Each named port where no device answered recorded; the run's status
    // made 1 when a record could not be kept.
    void recordRun(const UnitPlan &plan, RunRecords &records, const QStringList &ports,
                   const QVector<const UnitJob *> &units, int &status);
    // With --db: the records sent to the line's database, for up to 30 s;
    // `status`, or 1 when records still wait.
    int sendRecords(UnitStores &stores, int status);

    QStringList candidates() const;
    void startProbing(const QStringList &ports);
    // Probes every candidate at once and chooses the devices to serve; false,
    // after saying why, when there is none to serve.
    bool probeAndChoose(const QStringList &ports, QVector<bool> &served, int &status);
    // Gives each chosen device a job from `make(port index)`; null where none
    // runs.
    template<typename Job, typename Make>
    QVector<const Job *> startJobs(const QVector<bool> &served, Make make);
    void waitUntil(const std::function<bool()> &done, const std::function<void()> &tick = {});
    void onSignal(int number);
    int finish(const QJsonObject &report, TextOf text, int status) const;

    const Request request;
    std::unique_ptr<TerminationSignals> termination; // once the first port is opened
    int signalNumber = 0;
    ProgressDisplay *live = nullptr; // the progress on screen while a download runs
    std::vector<std::unique_ptr<DeviceJob>> jobs;
    std::unique_ptr<Fleet> fleet; // after the jobs: its threads end before they go
};

#endif // COMMANDRUNNER_H
