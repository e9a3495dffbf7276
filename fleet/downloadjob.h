#ifndef DOWNLOADJOB_H
#define DOWNLOADJOB_H

#include "devicejob.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

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
        QVector<Failure> failures;
    };

    // Commands as the reader gives them, each closed by a carriage return.
    DownloadJob(const QStringList &commands, const QVector<int> &lineNumbers);

    void run(DeviceLink &link, const std::atomic<bool> &stop) override;

    // Progress, read from any thread while the job runs.
    int commandsDone() const;
    int failuresSoFar() const;
    // Once the job's thread has finished.
    const Result &result() const;

private:
    void send(DeviceLink &link, int index);

    const QStringList commands;
    const QVector<int> lineNumbers;
    std::atomic<int> done{0};
    std::atomic<int> failed{0};
    Result outcome;
};

#endif // DOWNLOADJOB_H
