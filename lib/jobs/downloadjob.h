#ifndef DOWNLOADJOB_H
#define DOWNLOADJOB_H

#include "jobs/devicejob.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// Sends every command of a configuration file to one device, in file order,
// as the window does: a refused command does not stop the device.
class DownloadJob : public DeviceJob
{
public:
    struct Failure
    {
        enum Reason { Refused, NoAnswer, NotSendable };
        int line = 0;
        QString command;   // without its closing carriage return
        Reason reason = Refused;
        QByteArray answer; // what the device said, empty for none
        QByteArray lateAnswer; // what it said after the answer wait, empty for none
    };
    struct Result
    {
        int sent = 0;
        int acknowledged = 0;
        double seconds = 0;
        bool interrupted = false;
        bool gone = false; // the device went away before the last command
        QVector<Failure> failures;
    };
    // Asked whether a device that may be taken away mid-download is still
    // there, once its port is lost or two commands in a row got no answer.
    using PresenceCheck = std::function<bool(DeviceLink &)>;

    // Commands as the reader gives them, each closed by a carriage return.
    DownloadJob(const QStringList &commands, const QVector<int> &lineNumbers);
    // Gives a device that is no longer there up as gone instead of trying
    // every command left.
    void watchForDeparture(const PresenceCheck &stillThere);

    void run(DeviceLink &link, const std::atomic<bool> &stop) override;

    // Progress, read from any thread while the job runs.
    int commandsDone() const;
    int failuresSoFar() const;
    // Once the job's thread has finished.
    const Result &result() const;

private:
    bool send(DeviceLink &link, int index);
    bool departed(DeviceLink &link);

    const QStringList commands;
    const QVector<int> lineNumbers;
    PresenceCheck stillThere;
    int unansweredInARow = 0;
    std::atomic<int> done{0};
    std::atomic<int> failed{0};
    Result outcome;
};

#endif // DOWNLOADJOB_H
