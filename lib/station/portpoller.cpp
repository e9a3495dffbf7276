#include "station/portpoller.h"

namespace {
// New ports are asked at once, and this often they are looked for.
const auto lookInterval = std::chrono::milliseconds(500);
} // namespace

PortPoller::PortPoller(const QStringList &names, const QStringList &vidPids)
    : candidates(names, vidPids)
{
}

PortPoller::~PortPoller()
{
    stop();
}

void PortPoller::start()
{
    thread = std::thread([this] { run(); });
}

void PortPoller::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
}

bool PortPoller::takeLatest(QStringList &ports)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!fresh)
        return false;
    ports = latest;
    fresh = false;
    return true;
}

void PortPoller::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        lock.unlock();
        const QStringList found = candidates.current();
        lock.lock();
        latest = found;
        fresh = true;
        wake.wait_for(lock, lookInterval, [this] { return stopping; });
    }
}
