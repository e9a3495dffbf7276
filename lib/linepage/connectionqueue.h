#ifndef CONNECTIONQUEUE_H
#define CONNECTIONQUEUE_H

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// How the server runs its connections: each on a thread of its own, so that
// a client that never finishes its request or never reads holds up no one
// else. Up to `bound` are served at once; past it, as many again are read
// only to be told 503 (refused() says so on their thread), and any further
// wait for a thread.
class ConnectionQueue : public httplib::TaskQueue
{
public:
    explicit ConnectionQueue(int bound);

    void enqueue(std::function<void()> connection) override;
    // Returns once every connection has ended.
    void shutdown() override;

    // Whether the connection on the calling thread came past the bound.
    static bool refused();

private:
    void run(std::function<void()> connection, bool pastBound);
    bool takeWaiting(std::function<void()> &connection);

    const int bound;
    std::mutex mutex;
    std::condition_variable allEnded;
    int served = 0;
    int refusing = 0;
    std::deque<std::function<void()>> waiting;
};

#endif // CONNECTIONQUEUE_H
