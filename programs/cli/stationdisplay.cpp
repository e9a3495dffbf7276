#include "cli/stationdisplay.h"

#include "cli/screencolumns.h"
#include "records/recordkeys.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const int barWidth = 20;
const int shortestBar = 5;
// A name shortened further tells nothing apart.
const int shortestName = 10;
// Progress as a log shows it: "programming 12 commands".
const int commandsOnly = -1;

QString firstFailure(const SlotView &slot)
{
    const QJsonValue failure = slot.record.value(RecordKeys::failures)[0];
    return failure.isObject() ? QStringLiteral(" at line %1").arg(failure[RecordKeys::Failure::line].toInt()) : QString();
}

QString progress(const SlotView &slot, int bar)
{
    const QString counts = QStringLiteral("%1/%2").arg(slot.done).arg(slot.total);
    if (bar == commandsOnly)
        return QStringLiteral("%1 commands").arg(slot.total);
    if (bar == 0)
        return counts;
    const int filled = slot.total ? slot.done * bar / slot.total : 0;
    return QStringLiteral("[%1%2] ").arg(QString(filled, QLatin1Char('#')), QString(bar - filled, QLatin1Char('-')))
           + counts;
}

// The slot's state with `bar` columns of progress bar while it programs.
QString stateText(const SlotView &slot, int bar)
{
    QString state = SlotView::stateName(slot.state);
    switch (slot.state) {
    case SlotView::Empty:
        if (!slot.portState.isEmpty() && slot.portState != QLatin1String("silent"))
            state += QStringLiteral(" (%1)").arg(slot.portState);
        break;
    case SlotView::Programming: state += QLatin1Char(' ') + progress(slot, bar); break;
    case SlotView::Ok: state += QStringLiteral(" %1/%2 in %3 s").arg(slot.done).arg(slot.total).arg(slot.seconds, 0, 'f', 2); break;
    case SlotView::Failed: state += firstFailure(slot) + QStringLiteral(" (%1 failed)").arg(slot.failures); break;
    case SlotView::Gone:
    case SlotView::Interrupted: state += QStringLiteral(" after %1/%2").arg(slot.done).arg(slot.total); break;
    case SlotView::NotServed: state += QStringLiteral(": ") + slot.note; break;
    case SlotView::Probing:
        if (!slot.note.isEmpty())
            state += QStringLiteral(": ") + slot.note;
        break;
    default: break;
    }
    if (slot.attempt > 1 && (slot.isWorking() || slot.isFinished()))
        state += QStringLiteral(", attempt %1").arg(slot.attempt);
    if (!slot.unit.isEmpty() && slot.state != SlotView::Empty)
        state += QStringLiteral("  unit ") + slot.unit;
    return state;
}

// Whether standard output goes to the terminal that shows the slots, as
// when the program is run by hand.
bool outputOnTheTerminal()
{
    struct stat output = {};
    struct stat error = {};
    return ::isatty(STDOUT_FILENO) && ::isatty(STDERR_FILENO) && ::fstat(STDOUT_FILENO, &output) == 0
           && ::fstat(STDERR_FILENO, &error) == 0 && output.st_rdev == error.st_rdev;
}

// One slot as a line of a log.
QString slotLine(const SlotView &slot)
{
    return slot.slot + QStringLiteral("  ") + stateText(slot, commandsOnly);
}
} // namespace

StationDisplay::StationDisplay(bool q)
    : quiet(q)
    , terminal(::isatty(STDERR_FILENO))
    , sharedTerminal(outputOnTheTerminal())
{
}

bool StationDisplay::isLive() const
{
    return terminal && !quiet;
}

QString StationDisplay::line(const SlotView &slot, int width)
{
    const int nameWidth = ScreenColumns::width(slot.slot);
    int bar = 0;
    if (slot.state == SlotView::Programming) {
        // The bar's room, its "[", "] " and the name's two spaces aside.
        bar = std::min(barWidth, width - nameWidth - ScreenColumns::width(stateText(slot, 0)) - 5);
        if (bar < shortestBar)
            bar = 0;
    }
    const QString state = stateText(slot, bar);
    const int nameRoom = std::max(shortestName, width - 2 - ScreenColumns::width(state));
    return ScreenColumns::left(LiveLines::elided(slot.slot, nameRoom) + QStringLiteral("  ") + state, width);
}

QString StationDisplay::totalsLine(const Totals &totals)
{
    QString line = QStringLiteral("units: %1 ok, %2 failed").arg(totals.ok).arg(totals.failed);
    if (totals.perHour)
        line += QStringLiteral(", %1 per hour").arg(*totals.perHour, 0, 'f', 1);
    if (!totals.database.isEmpty())
        line += QStringLiteral("; ") + totals.database;
    return line;
}

void StationDisplay::draw(const QVector<SlotView> &views, const Totals &totals)
{
    if (!isLive())
        return;
    const int width = LiveLines::columns();
    QStringList lines;
    for (const SlotView &slot : views)
        lines << line(slot, width);
    lines << totalsLine(totals);
    if (live.differs(lines))
        live.draw(lines);
}

void StationDisplay::log(const SlotView &slot)
{
    if (quiet || terminal)
        return;
    auto seen = std::find_if(logged.begin(), logged.end(), [&](const SlotView &s) { return s.slot == slot.slot; });
    if (seen != logged.end() && seen->state == slot.state && seen->attempt == slot.attempt
        && seen->portState == slot.portState && seen->note == slot.note)
        return;
    if (seen == logged.end())
        logged << slot;
    else
        *seen = slot;
    LiveLines::write(slotLine(slot) + QLatin1Char('\n'));
}

void StationDisplay::message(const QString &text)
{
    live.printAbove(text + QLatin1Char('\n'));
}

void StationDisplay::print(const QByteArray &bytes)
{
    if (isLive() && sharedTerminal) {
        live.printAbove(bytes, stdout);
        return;
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
