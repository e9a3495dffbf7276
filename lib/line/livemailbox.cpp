#include "line/livemailbox.h"

void LiveMailbox::post(LiveSlot slot)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = latest.find(slot.slot);
    const bool progressOnly = found != latest.end() && slot.isProgressOf(found->second);
    slot.since = progressOnly ? found->second.since : QDateTime::currentDateTimeUtc();
    changed.insert(slot.slot);
    latest[slot.slot] = slot.detached();
    if (!progressOnly) {
        stateChanged = true;
        wake.notify_all();
    }
}

bool LiveMailbox::wait(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stateChanged || ending; });
    stateChanged = false;
    return !ending;
}

QVector<LiveSlot> LiveMailbox::take()
{
    std::lock_guard<std::mutex> lock(mutex);
    QVector<LiveSlot> taken;
    for (const QString &slot : changed)
        taken << latest.at(slot).detached();
    changed.clear();
    return taken;
}

int LiveMailbox::slotCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(latest.size());
}

void LiveMailbox::end()
{
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
    wake.notify_all();
}
