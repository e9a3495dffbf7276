#include "stationdisplay.h"

#include <QStringList>

#include <algorithm>

#include <unistd.h>

namespace {
const int barWidth = 20;

QString firstFailure(const SlotView &slot)
{
    const QJsonValue failure = slot.record.value(QStringLiteral("failures"))[0];
    return failure.isObject() ? QStringLiteral(" at line %1").arg(failure[QStringLiteral("line")].toInt()) : QString();
}

QString progress(const SlotView &slot)
{
    const int filled = slot.total ? slot.done * barWidth / slot.total : 0;
    return QStringLiteral("[%1%2] %3/%4")
        .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('-')))
        .arg(slot.done)
        .arg(slot.total);
}

QString totalsLine(const StationDisplay::Totals &totals)
{
    return QStringLiteral("units: %1 ok, %2 failed, %3 per hour")
        .arg(totals.ok)
        .arg(totals.failed)
        .arg(totals.perHour, 0, 'f', 1) + (totals.database.isEmpty() ? QString() : QStringLiteral("; ") + totals.database);
}
} // namespace

QString slotLine(const SlotView &slot, bool live)
{
    QString state = SlotView::stateName(slot.state);
    switch (slot.state) {
    case SlotView::Empty:
        if (!slot.portState.isEmpty() && slot.portState != QLatin1String("silent"))
            state += QStringLiteral(" (%1)").arg(slot.portState);
        break;
    case SlotView::Programming:
        state += live ? QLatin1Char(' ') + progress(slot) : QStringLiteral(" %1 commands").arg(slot.total);
        break;
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
    return slot.slot + QStringLiteral("  ") + state;
}

StationDisplay::StationDisplay(bool q)
    : quiet(q)
    , terminal(::isatty(STDERR_FILENO))
{
}

bool StationDisplay::isLive() const
{
    return terminal && !quiet;
}

void StationDisplay::draw(const QVector<SlotView> &views, const Totals &totals)
{
    if (!isLive())
        return;
    const int width = LiveLines::columns();
    QStringList lines;
    for (const SlotView &slot : views)
        lines << LiveLines::elided(slotLine(slot, true), width);
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
    LiveLines::write(slotLine(slot, false) + QLatin1Char('\n'));
}

void StationDisplay::message(const QString &text)
{
    live.printAbove(text + QLatin1Char('\n'));
}
