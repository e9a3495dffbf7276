#ifndef COMMANDRUNNER_H
#define COMMANDRUNNER_H

#include "cli/progressdisplay.h"
#include "cli/request.h"
#include "console/terminationsignals.h"
#include "fleet/fleet.h"
#include "jobs/devicejob.h"
#include "records/attemptrecord.h"
#include "records/recordlog.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>

class CommandTemplate;
struct Configuration;
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
    std::unique_ptr<ValueSource> openValues(const CommandTemplate &commandTemplate, QString &error);
    bool giveValues(const QString &port, ValueSource &values, const CommandTemplate &commandTemplate,
                    QStringList &commands, QHash<QString, QJsonValue> &given, QHash<QString, QString> &refused);
    bool openLog();
    // With --db: the records sent to the line's database, for up to 30 s;
    // `status`, or 1 when records still wait.
    int sendRecords(int status);
    void keepRecords(const QJsonObject &report, const std::function<void(const QString &, AttemptRecord &)> &details,
                     int &status);
    // Probes, serves each chosen device with a clock job from `make` and
    // prints what `report` makes of the results.
    template<typename Job, typename Make, typename ReportOf>
    int serveClock(Make make, ReportOf report, TextOf text);

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
    RecordLog log;
    QString logFile; // the log, or with --db and no log the spool
    QHash<QString, QString> attemptIds; // by port, for the values reserved
    QDateTime jobsStarted;
    std::unique_ptr<TerminationSignals> termination; // once the first port is opened
    int signalNumber = 0;
    ProgressDisplay *live = nullptr; // the progress on screen while a download runs
    std::vector<std::unique_ptr<DeviceJob>> jobs;
    std::unique_ptr<Fleet> fleet; // after the jobs: its threads end before they go
};

#endif // COMMANDRUNNER_H
