#include "stationwindow/tilecontent.h"

#include "records/recordkeys.h"
#include "stationwindow/sentence.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {
QString secondsText(double seconds)
{
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', seconds < 100 ? 2 : 0);
}

QString unitLine(const SlotView &view)
{
    QStringList parts;
    if (!view.unit.isEmpty())
        parts << QStringLiteral("Unit ") + view.unit;
    if (view.attempt > 1)
        parts << QStringLiteral("attempt %1").arg(view.attempt);
    return sentence(parts.join(QStringLiteral(" · ")));
}

// What the port said while no unit answers on it, when the operator can act
// on it; silence and absence are what an empty slot is.
QString portProblem(const QString &portState)
{
    if (portState == QLatin1String("busy"))
        return QStringLiteral("Port busy: another program holds it");
    if (portState == QLatin1String("no permission"))
        return QStringLiteral("No permission to open the port (group dialout)");
    if (portState == QLatin1String("cannot open"))
        return QStringLiteral("The port cannot be opened");
    return {};
}

QString answerLine(const QJsonObject &failure)
{
    const QString reason = failure.value(RecordKeys::Failure::reason).toString();
    if (reason == QLatin1String("no answer")) {
        const QJsonValue late = failure.value(RecordKeys::Failure::lateAnswer);
        return late.isString() ? QStringLiteral("No answer in time (late: %1)").arg(late.toString())
                               : QStringLiteral("No answer");
    }
    if (reason == QLatin1String("not sendable"))
        return QStringLiteral("Not sent: a character the line cannot carry");
    return QStringLiteral("Answer: ") + failure.value(RecordKeys::Failure::answer).toString();
}

QString clockProblem(const QJsonObject &clock)
{
    if (!clock.value(RecordKeys::Clock::timeAcknowledged).toBool(true)
        || !clock.value(RecordKeys::Clock::dateAcknowledged).toBool(true))
        return QStringLiteral("Clock not acknowledged");
    if (!clock.value(RecordKeys::Clock::verified).toBool(true))
        return QStringLiteral("Clock read back wrong: ") + clock.value(RecordKeys::Clock::readBack).toString();
    return {};
}

// The first failed line, with its command and the device's answer, then how
// many lines failed.
QStringList failureLines(const SlotView &view)
{
    const QJsonArray failures = view.record.value(RecordKeys::failures).toArray();
    QStringList lines;
    if (!failures.isEmpty()) {
        const QJsonObject first = failures.first().toObject();
        lines << QStringLiteral("Line %1: %2")
                     .arg(first.value(RecordKeys::Failure::line).toInt())
                     .arg(first.value(RecordKeys::Failure::command).toString())
              << answerLine(first);
    }
    const QString clock = clockProblem(view.record.value(RecordKeys::clock).toObject());
    if (!clock.isEmpty())
        lines << clock;
    lines << (failures.size() == 1 ? QStringLiteral("1 line failed") : QStringLiteral("%1 lines failed").arg(failures.size()))
                 + QStringLiteral(" · ") + secondsText(view.seconds);
    return lines;
}
} // namespace

TileContent TileContent::of(const SlotView &view)
{
    TileContent content;
    content.name = view.slot;
    if (!view.note.isEmpty() && view.state != SlotView::NotServed)
        content.details << sentence(view.note);
    switch (view.state) {
    case SlotView::Empty:
        content.state = QStringLiteral("Empty");
        content.details << portProblem(view.portState);
        break;
    case SlotView::Probing:
        content.state = QStringLiteral("Probing");
        break;
    case SlotView::SettingClock:
    case SlotView::Verifying:
        content.state = view.state == SlotView::Verifying ? QStringLiteral("Verifying") : QStringLiteral("Setting the clock");
        content.tone = Working;
        content.details << unitLine(view);
        break;
    case SlotView::Programming:
        content.state = QStringLiteral("Programming %1 of %2").arg(view.done).arg(view.total);
        content.tone = Working;
        content.details << unitLine(view);
        if (view.failures > 0)
            content.details << QStringLiteral("%1 failed so far").arg(view.failures);
        break;
    case SlotView::Ok:
        content.state = QStringLiteral("OK");
        content.tone = Good;
        content.details << QStringLiteral("%1 commands in %2").arg(view.done).arg(secondsText(view.seconds))
                        << unitLine(view);
        break;
    case SlotView::Failed:
        content.state = QStringLiteral("FAILED");
        content.tone = Bad;
        content.details << failureLines(view) << unitLine(view);
        break;
    case SlotView::Gone:
    case SlotView::Interrupted:
        content.state = view.state == SlotView::Gone ? QStringLiteral("Gone") : QStringLiteral("Interrupted");
        content.tone = Warning;
        content.details << QStringLiteral("%1 after %2 of %3 commands")
                               .arg(view.state == SlotView::Gone ? QStringLiteral("Taken away")
                                                                 : QStringLiteral("Stopped"))
                               .arg(view.done)
                               .arg(view.total)
                        << unitLine(view);
        break;
    case SlotView::NotRecorded:
        // Its note says why the log refused it.
        content.state = QStringLiteral("Not recorded");
        content.tone = Warning;
        content.details << unitLine(view);
        break;
    case SlotView::NotServed:
        content.state = QStringLiteral("Not served");
        content.tone = Warning;
        content.details << sentence(view.note);
        break;
    }
    if (view.isWorking() || view.isFinished()) {
        content.done = view.done;
        content.total = view.total;
    }
    content.details.removeAll(QString());
    return content;
}
