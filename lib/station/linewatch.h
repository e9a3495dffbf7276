#ifndef LINEWATCH_H
#define LINEWATCH_H

#include "line/pgconnection.h"

#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class OrderClaims;
class StationControl;

// Looks at the line's database for a station, on a thread and connections
// of its own, so that a database slow to answer never holds up the slots or
// the window: whether the revision the station runs was revoked, and, for a
// work order, its claims kept alive and whether it is complete. Either
// halts the station with why. It never chooses another revision.
class LineWatch
{
public:
    // `release` is NAME@REV, or empty; `claims` null without an order.
    LineWatch(const QString &db, const QString &release, std::shared_ptr<OrderClaims> claims,
              StationControl &control);
    ~LineWatch();
    LineWatch(const LineWatch &) = delete;
    LineWatch &operator=(const LineWatch &) = delete;

    void start();
    // Ends the thread after its current look and joins it: a join orders
    // what the thread touched before the watch is freed, as Qt's wait()
    // does unseen by the race checker.
    void end();

private:
    void run();
    bool waitForNextLook();
    bool revoked(PgConnection &connection);

    const QString db;
    const QString release;
    const std::shared_ptr<OrderClaims> claims;
    StationControl &control;
    std::mutex mutex;
    std::condition_variable wake;
    bool ending = false;
    std::thread thread;
};

#endif // LINEWATCH_H
