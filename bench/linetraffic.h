#ifndef LINETRAFFIC_H
#define LINETRAFFIC_H

#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class LivePublisher;

// A line's stations publishing their slots with the stations' own code, a
// LivePublisher each (its own thread and connection), driven from one
// thread by generated unit events at a line's pace: in every slot a unit
// each cycle, probing, programming with its progress, ok or failed with its
// line, gone. The slots start at moments spread over a cycle. The first
// slot of every station carries a marker as its unit's text, "t~MS.STATION"
// (MS: when the unit was posted, in ms on the monotonic clock), so that a
// watcher can tell how late it saw the change.
class LineTraffic
{
public:
    struct Shape
    {
        int stations = 100;
        int slotsEach = 16;
        int cycleMs = 3000;
        int commands = 8;
    };

    LineTraffic(const QString &url, const Shape &shape);
    ~LineTraffic();

    void start();
    // Ends the driving, then every publisher once it wrote what it holds.
    void stop();
    // The moments (ms, monotonic) of the markers posted so far.
    QVector<qint64> markers() const;

private:
    struct SlotCourse
    {
        int station = 0;
        int slot = 0;
        int offsetMs = 0;
        qint64 cycle = -1;
        int step = -1;
        QString unit;
    };

    void drive();
    void advance(SlotCourse &course, qint64 nowMs);
    int stepAt(int phaseMs) const;

    const Shape shape;
    std::vector<std::unique_ptr<LivePublisher>> publishers;
    std::vector<SlotCourse> courses;
    std::thread driver;
    std::atomic<bool> driving{false};
    qint64 startMs = 0;
    mutable std::mutex mutex;
    QVector<qint64> posted;
};

#endif // LINETRAFFIC_H
