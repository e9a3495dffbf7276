#include "linetraffic.h"

#include "samples.h"

#include "line/livepublisher.h"

#include <QRandomGenerator>

#include <algorithm>
#include <chrono>

namespace {
// Within a cycle: probing, then programming from here, a command each step,
// the result once the last is done, and the unit gone before the next.
const int programmingAtMs = 300;
const int commandMs = 200;
const int goneBeforeEndMs = 400;
// How often the driver looks whether a slot moved on.
const auto tick = std::chrono::milliseconds(10);
// One unit in this many fails.
const int failingEvery = 10;

qint64 nowMs()
{
    return qint64(monotonicSeconds() * 1000);
}
} // namespace

LineTraffic::LineTraffic(const QString &url, const Shape &s)
    : shape(s)
{
    for (int station = 0; station < shape.stations; ++station) {
        const QString name = QStringLiteral("bench-%1").arg(station, 3, 10, QLatin1Char('0'));
        publishers.push_back(std::make_unique<LivePublisher>(
            url, LivePublisher::Identity{name, QStringLiteral("bench"), QStringLiteral("bench")}, nullptr));
        for (int slot = 0; slot < shape.slotsEach; ++slot)
            courses.push_back({station, slot, int(QRandomGenerator::global()->bounded(shape.cycleMs)), -1, -1, {}});
    }
}

LineTraffic::~LineTraffic()
{
    stop();
}

void LineTraffic::start()
{
    for (const auto &publisher : publishers)
        publisher->start();
    startMs = nowMs();
    driving = true;
    driver = std::thread([this] { drive(); });
}

void LineTraffic::stop()
{
    driving = false;
    if (driver.joinable())
        driver.join();
    for (const auto &publisher : publishers)
        publisher->end();
}

QVector<qint64> LineTraffic::markers() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return posted;
}

void LineTraffic::drive()
{
    while (driving) {
        const qint64 now = nowMs();
        for (SlotCourse &course : courses)
            advance(course, now);
        std::this_thread::sleep_for(tick);
    }
}

// The slot's state at `nowMs`, posted when it moved on: a new unit, a new
// state or more progress.
void LineTraffic::advance(SlotCourse &course, qint64 now)
{
    const qint64 elapsed = now - startMs - course.offsetMs;
    if (elapsed < 0)
        return;
    const qint64 cycle = elapsed / shape.cycleMs;
    const int step = stepAt(int(elapsed % shape.cycleMs));
    if (cycle == course.cycle && step == course.step)
        return;
    if (cycle != course.cycle) {
        course.unit = course.slot == 0 ? QStringLiteral("t~%1.%2").arg(now).arg(course.station)
                                       : QStringLiteral("SN%1-%2-%3").arg(course.station).arg(course.slot).arg(cycle);
        if (course.slot == 0) {
            std::lock_guard<std::mutex> lock(mutex);
            posted << now;
        }
    }
    course.cycle = cycle;
    course.step = step;
    LiveSlot slot;
    slot.slot = QStringLiteral("slot %1").arg(course.slot + 1);
    slot.unit = course.unit;
    const bool fails = (cycle + course.slot) % failingEvery == 0;
    if (step == 0) {
        slot.state = QStringLiteral("probing");
    } else if (step <= shape.commands + 1) {
        slot.state = QStringLiteral("programming");
        slot.progress = step - 1;
        slot.total = shape.commands;
    } else if (step == shape.commands + 2) {
        slot.state = fails ? QStringLiteral("failed") : QStringLiteral("ok");
        slot.progress = fails ? shape.commands / 2 : shape.commands;
        slot.total = shape.commands;
        if (fails)
            slot.line = QStringLiteral("line %1: ZEL#B=2").arg(shape.commands / 2 + 1);
    } else {
        slot.state = QStringLiteral("gone");
    }
    publishers[std::size_t(course.station)]->post(slot);
}

// 0 probing, 1 to commands + 1 programming (progress 0 to commands), then
// the result, then gone.
int LineTraffic::stepAt(int phaseMs) const
{
    if (phaseMs < programmingAtMs)
        return 0;
    if (phaseMs >= shape.cycleMs - goneBeforeEndMs)
        return shape.commands + 3;
    return std::min((phaseMs - programmingAtMs) / commandMs + 1, shape.commands + 2);
}
