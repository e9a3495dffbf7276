#include "station/slotview.h"

bool SlotView::isWorking() const
{
    return state == SettingClock || state == Verifying || state == Programming;
}

bool SlotView::isFinished() const
{
    return state == Ok || state == Failed || state == Gone || state == Interrupted || state == NotRecorded;
}

bool SlotView::operator==(const SlotView &o) const
{
    return slot == o.slot && port == o.port && state == o.state && portState == o.portState && done == o.done
        && total == o.total && failures == o.failures && attempt == o.attempt && unit == o.unit
        && seconds == o.seconds && attached == o.attached && note == o.note && record == o.record;
}

QString SlotView::stateName(State state)
{
    switch (state) {
    case Empty: return QStringLiteral("empty");
    case Probing: return QStringLiteral("probing");
    case SettingClock: return QStringLiteral("setting clock");
    case Verifying: return QStringLiteral("verifying");
    case Programming: return QStringLiteral("programming");
    case Ok: return QStringLiteral("ok");
    case Failed: return QStringLiteral("failed");
    case Gone: return QStringLiteral("gone");
    case Interrupted: return QStringLiteral("interrupted");
    case NotRecorded: return QStringLiteral("not recorded");
    case NotServed: break;
    }
    return QStringLiteral("not served");
}
