#include "linepage/connectionqueue.h"

#include <thread>

namespace {
thread_local bool pastTheBound = false;
} // namespace

ConnectionQueue::ConnectionQueue(int b)
    : bound(b)
{
}

void ConnectionQueue::enqueue(std::function<void()> connection)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (served < bound) {
        ++served;
        std::thread(&ConnectionQueue::run, this, std::move(connection), false).detach();
    } else if (refusing < bound) {
        ++refusing;
        std::thread(&ConnectionQueue::run, this, std::move(connection), true).detach();
    } else {
        waiting.push_back(std::move(connection));
    }
}

// A thread serves its connection, then any that waited, as it came.
void ConnectionQueue::run(std::function<void()> connection, bool pastBound)
{
    pastTheBound = pastBound;
    do
        connection();
    while (takeWaiting(connection));
    // Told while the lock is held: shutdown() cannot see the count fall
    // before this thread has let go of the queue's condition, so the queue
    // may be destroyed as soon as it returns.
    std::lock_guard<std::mutex> lock(mutex);
    --(pastBound ? refusing : served);
    allEnded.notify_all();
}

bool ConnectionQueue::takeWaiting(std::function<void()> &connection)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (waiting.empty())
        return false;
    connection = std::move(waiting.front());
    waiting.pop_front();
    return true;
}

void ConnectionQueue::shutdown()
{
    std::unique_lock<std::mutex> lock(mutex);
    allEnded.wait(lock, [this] { return served == 0 && refusing == 0; });
}

bool ConnectionQueue::refused()
{
    return pastTheBound;
}
