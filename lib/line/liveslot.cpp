#include "line/liveslot.h"

namespace {
// Text of its own: the last owner of shared text frees it inside Qt, where
// the race checker cannot see the reference count that orders it.
QString own(const QString &text)
{
    return text.isNull() ? QString() : QString(text.constData(), text.size());
}
} // namespace

bool LiveSlot::isProgressOf(const LiveSlot &o) const
{
    return slot == o.slot && state == o.state && unit == o.unit && total == o.total && line == o.line
        && release == o.release && order == o.order;
}

LiveSlot LiveSlot::detached() const
{
    LiveSlot copy = *this;
    for (QString *text : {&copy.slot, &copy.state, &copy.unit, &copy.line, &copy.release, &copy.order})
        *text = own(*text);
    return copy;
}

QJsonObject LiveSlot::toJson() const
{
    const auto text = [](const QString &value) { return value.isEmpty() ? QJsonValue() : QJsonValue(value); };
    return {{"slot", slot},
            {"state", state},
            {"unit", text(unit)},
            {"progress", progress},
            {"total", total},
            {"line", text(line)},
            {"release", text(release)},
            {"order_name", text(order)},
            {"since", since.toUTC().toString(Qt::ISODateWithMs)}};
}
