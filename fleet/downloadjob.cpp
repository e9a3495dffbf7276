#include "downloadjob.h"

#include "devicelink.h"
#include "sendablecharacters.h"

#include <QElapsedTimer>

DownloadJob::DownloadJob(const QStringList &c, const QVector<int> &l)
    : commands(c)
    , lineNumbers(l)
{
}

void DownloadJob::run(DeviceLink &link, const std::atomic<bool> &stop)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < commands.size(); ++i) {
        if (stop) {
            outcome.interrupted = true;
            break;
        }
        send(link, i);
        done = i + 1;
    }
    outcome.seconds = clock.elapsed() / 1000.0;
}

void DownloadJob::send(DeviceLink &link, int index)
{
    const QString &command = commands.at(index);
    Failure failure{lineNumbers.value(index), command.chopped(1), Failure::NotSendable, {}, {}};
    if (firstUnsendableIndex(command) < 0) {
        ++outcome.sent;
        if (link.sendLine(command)) {
            ++outcome.acknowledged;
            return;
        }
        failure.answer = link.lastAnswer();
        failure.lateAnswer = link.lateAnswer();
        failure.reason = failure.answer.isEmpty() ? Failure::NoAnswer : Failure::Refused;
    }
    outcome.failures << failure;
    ++failed;
}

int DownloadJob::commandsDone() const
{
    return done;
}

int DownloadJob::failuresSoFar() const
{
    return failed;
}

const DownloadJob::Result &DownloadJob::result() const
{
    return outcome;
}
