#ifndef PORTPOLLER_H
#define PORTPOLLER_H

#include "station/candidateports.h"

#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <thread>

// Looks the candidate ports up again and again in a thread of its own: the
// system's port list costs tens of milliseconds, which must never hold up the
// thread that drives the station (a window's).
class PortPoller
{
public:
    PortPoller(const QStringList &names, const QStringList &vidPids);
    ~PortPoller();
    PortPoller(const PortPoller &) = delete;
    PortPoller &operator=(const PortPoller &) = delete;

    void start();
    void stop();
    // The ports the latest look found, when there has been a look since the
    // last call.
    bool takeLatest(QStringList &ports);

private:
    void run();

    CandidatePorts candidates; // used by the thread alone
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool fresh = false;
    QStringList latest;
};

#endif // PORTPOLLER_H
