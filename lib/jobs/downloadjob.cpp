#include "jobs/downloadjob.h"

#include "device/devicelink.h"
#include "device/sendablecharacters.h"

#include <QElapsedTimer>

DownloadJob::DownloadJob(const QStringList &c, const QVector<int> &l)
    : commands(c)
    , lineNumbers(l)
{
}

void DownloadJob::watchForDeparture(const PresenceCheck &check)
{
    stillThere = check;
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
        unansweredInARow = send(link, i) ? 0 : unansweredInARow + 1;
        done = i + 1;
        if (i + 1 < commands.size() && departed(link)) {
            outcome.gone = true;
            break;
        }
    }
    outcome.seconds = clock.elapsed() / 1000.0;
}

// False when the command went out and the device said nothing to it.
bool DownloadJob::send(DeviceLink &link, int index)
{
    const QString &command = commands.at(index);
    Failure failure{lineNumbers.value(index), command.chopped(1), Failure::NotSendable, {}, {}};
    if (firstUnsendableIndex(command) < 0) {
        if (link.sendLine(command)) {
            ++outcome.sent;
            ++outcome.acknowledged;
            return true;
        }
        // A port that went away before the command got out: nothing was sent.
        if (link.portLost() && !link.lastCommandWritten())
            return false;
        ++outcome.sent;
        failure.answer = link.lastAnswer();
        failure.lateAnswer = link.lateAnswer();
        failure.reason = failure.answer.isEmpty() ? Failure::NoAnswer : Failure::Refused;
    }
    outcome.failures << failure;
    ++failed;
    return failure.reason != Failure::NoAnswer || !failure.lateAnswer.isEmpty();
}

// One command without an answer may be the device's own fault; a second in a
// row, or a port that is gone, makes it worth asking.
bool DownloadJob::departed(DeviceLink &link)
{
    if (!stillThere)
        return false;
    if (link.portLost())
        return true;
    if (unansweredInARow < 2)
        return false;
    unansweredInARow = 0;
    return !stillThere(link);
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
