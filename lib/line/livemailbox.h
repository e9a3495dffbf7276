#ifndef LIVEMAILBOX_H
#define LIVEMAILBOX_H

#include "line/liveslot.h"

#include <QVector>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

// Where a station leaves its slots' states for the publisher's thread: the
// latest of each slot wins, so a poster never waits for the database and
// the box never grows past one entry a slot.
class LiveMailbox
{
public:
    // Keeps `slot` as its slot's latest; a change of state (more than
    // progress) wakes the taker at once. `since` is set here: the time of
    // the slot's last change of state.
    void post(LiveSlot slot);
    // Waits up to `ms` for a change of state or the end; false once ended.
    bool wait(int ms);
    // The slots posted since the last take, latest only.
    QVector<LiveSlot> take();
    // How many slots were ever posted.
    int slotCount() const;
    void end();

private:
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::map<QString, LiveSlot> latest;
    std::set<QString> changed; // slots posted since the last take
    bool stateChanged = false;
    bool ending = false;
};

#endif // LIVEMAILBOX_H
