#include "values/valuereservations.h"

#include "values/commandtemplate.h"
#include "values/statefile.h"

#include <QDateTime>

#include <algorithm>

namespace {
using Reservation = ValueReservations::Reservation;

// Local time with its offset from UTC, such as 2026-12-07T21:04:05+01:00.
QString timestamp()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}
} // namespace

ValueReservations::ValueReservations() = default;
ValueReservations::~ValueReservations() = default;

bool ValueReservations::open(const Sources &sources, const CommandTemplate &commands, QString &error)
{
    hasList = !sources.list.isEmpty();
    if (!hasList && sources.counters.isEmpty()) {
        if (!sources.state.isEmpty()) {
            error = QStringLiteral("a state file is used only with a list of values or counters");
            return false;
        }
        if (commands.hasPlaceholders()) {
            error = QStringLiteral("the configuration needs values for %1, from a list or counters")
                        .arg(CommandTemplate::describe(commands.placeholders()));
            return false;
        }
        return true;
    }
    if (sources.state.isEmpty()) {
        error = QStringLiteral("values from a list or counters need a state file, where handed-out "
                               "values are kept so that none is handed out twice: name one with --state");
        return false;
    }
    if ((hasList && !list.load(sources.list, error)) || !openCounters(sources.counters, error))
        return false;
    QStringList names = hasList ? list.columns() : QStringList();
    for (const CounterOption &counter : counters)
        names << counter.name();
    const auto missing = commands.withoutValue(names);
    if (!missing.isEmpty()) {
        error = QStringLiteral("the configuration needs values for %1, which no column of the list "
                               "and no counter gives")
                    .arg(CommandTemplate::describe(missing));
        return false;
    }
    file = std::make_unique<StateFile>(sources.state);
    if (!file->open(error) || !file->lock(error))
        return false;
    const bool read = refresh(error);
    file->unlock();
    return read;
}

bool ValueReservations::openCounters(const QStringList &options, QString &error)
{
    for (const QString &option : options) {
        CounterOption counter;
        if (!counter.parse(option, error))
            return false;
        const QString name = counter.name();
        const bool twice = std::any_of(counters.cbegin(), counters.cend(),
                                       [&name](const CounterOption &c) { return c.name() == name; });
        if (twice || name == ValueList::usbSerialColumn || (hasList && list.columns().contains(name))) {
            error = twice ? QStringLiteral("counter %1 is given twice").arg(name)
                          : QStringLiteral("counter %1 has the name of a column of the list %2; "
                                           "each value needs one source")
                                .arg(name, hasList ? list.name() : QStringLiteral("(a usb_serial column)"));
            return false;
        }
        counters.append(counter);
    }
    return true;
}

bool ValueReservations::isInUse() const
{
    return hasList || !counters.isEmpty();
}

// Reads the state file again, since another program may have changed it; the
// bytes are compared first, so an unchanged file is not parsed again.
bool ValueReservations::refresh(QString &error)
{
    QByteArray bytes;
    bool exists = false;
    if (!file->read(bytes, exists, error))
        return false;
    if (stateKnown && exists == fileSeen && bytes == seen)
        return true;
    if (fileSeen && !exists) {
        error = QStringLiteral("the state file %1 is gone; without it values could be handed out twice")
                    .arg(file->path());
        return false;
    }
    ValueState found;
    if (exists && !found.parse(bytes, error)) {
        error = QStringLiteral("the state file %1 is not one this program wrote or can read (%2); "
                               "it was left as it is")
                    .arg(file->path(), error);
        return false;
    }
    if (!checkList(found, error))
        return false;
    if (hasList)
        found.setList({list.absolutePath(), list.sha256(), list.rowCount()});
    state = std::move(found);
    seen = bytes;
    fileSeen = exists;
    stateKnown = true;
    return true;
}

// Rows are known by their number, so a state kept for another list would hand
// out its values again.
bool ValueReservations::checkList(const ValueState &found, QString &error) const
{
    if (!hasList || !found.hasList() || found.list().sha256 == list.sha256())
        return true;
    error = QStringLiteral("the state file %1 was kept for the list %2, and %3 is not that list (its "
                           "contents differ); rows are known by their number, so a changed list "
                           "could hand out a value twice. Use the list the state was kept for, or "
                           "start a new state file for the new list")
                .arg(file->path(), found.list().path, list.name());
    return false;
}

ValueReservations::Reservation ValueReservations::reserve(const Unit &unit)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (!isInUse())
        return {};
    QString error;
    if (!file->lock(error))
        return Reservation::refused(Reservation::StateFailed, error);
    const Reservation reservation = reserveLocked(unit);
    file->unlock();
    return reservation;
}

ValueReservations::Reservation ValueReservations::reserveLocked(const Unit &unit)
{
    QString error;
    if (!refresh(error))
        return Reservation::refused(Reservation::StateFailed, error);
    const Reservation reservation = choose(unit);
    if (reservation.outcome != Reservation::Assigned)
        return reservation;
    record(reservation, unit);
    const QByteArray bytes = state.toJson();
    if (!file->replace(bytes, error)) {
        stateKnown = false; // `state` holds a value the file does not
        return Reservation::refused(Reservation::StateFailed, error);
    }
    seen = bytes;
    fileSeen = true;
    return reservation;
}

ValueReservations::Reservation ValueReservations::peek()
{
    std::lock_guard<std::mutex> guard(mutex);
    if (!isInUse())
        return {};
    // Without the lock: the file is replaced whole, so any reading sees a
    // whole state.
    QString error;
    if (!refresh(error))
        return Reservation::refused(Reservation::StateFailed, error);
    return choose(Unit());
}

// The list does not change once open: no lock needed.
bool ValueReservations::bindsAdapter(const QString &usbSerial) const
{
    return hasList && !usbSerial.isEmpty() && list.rowBoundTo(usbSerial) > 0;
}

ValueReservations::Reservation ValueReservations::choose(const Unit &unit) const
{
    Reservation reservation;
    const int row = chooseRow(unit, reservation);
    if (reservation.outcome != Reservation::Assigned)
        return reservation;
    if (row > 0)
        reservation.assignment = list.assignmentOf(row);
    for (const CounterOption &counter : counters) {
        const ValueState::CounterPosition position = positionOf(counter);
        QString value;
        if (!CounterOption::format(position.next, position.width, value)) {
            return Reservation::refused(
                Reservation::UsedUp,
                QStringLiteral("counter %1 has run out: its next value, %2, has more than %3 digits")
                    .arg(counter.name())
                    .arg(position.next)
                    .arg(position.width > 0 ? position.width : CounterOption::maximumDigits));
        }
        reservation.assignment.addCounter(counter.name(), value);
    }
    return reservation;
}

// The unit's own row when the list binds its adapter, else the first free row
// bound to no adapter; 0 without a list.
int ValueReservations::chooseRow(const Unit &unit, Reservation &reservation) const
{
    if (!hasList)
        return 0;
    const int rows = list.rowCount();
    if (state.takenRowCount() >= rows) {
        reservation = Reservation::refused(
            Reservation::UsedUp,
            QStringLiteral("the list %1 is used up: all %2 rows handed out").arg(list.name()).arg(rows));
        return 0;
    }
    const int bound = list.rowBoundTo(unit.usbSerial);
    if (bound > 0 && state.isRowTaken(bound)) {
        reservation = Reservation::refused(Reservation::UnitRefused,
                              QStringLiteral("row %1 of %2, bound to the adapter %3, was handed out before")
                                  .arg(bound)
                                  .arg(list.name(), unit.usbSerial));
    }
    if (bound > 0)
        return bound;
    for (int row = 1; row <= rows; ++row) {
        if (!state.isRowTaken(row) && !list.isBound(row))
            return row;
    }
    reservation = Reservation::refused(Reservation::UnitRefused,
                          QStringLiteral("no row of %1 is left for a unit without a row of its own: "
                                         "the %2 rows not handed out are bound to other adapters")
                              .arg(list.name())
                              .arg(rows - state.takenRowCount()));
    return 0;
}

// A counter the state knows goes on from where it stopped; a new one starts
// at its START.
ValueState::CounterPosition ValueReservations::positionOf(const CounterOption &counter) const
{
    if (state.hasCounter(counter.name()))
        return state.counter(counter.name());
    return {counter.start(), counter.width()};
}

void ValueReservations::record(const Reservation &reservation, const Unit &unit)
{
    ValueState::HandOut handOut{
        reservation.assignment.row(), {}, unit.port, unit.slot, unit.usbSerial, timestamp()};
    for (const CounterOption &counter : counters) {
        ValueState::CounterPosition position = positionOf(counter);
        handOut.counters.insert(counter.name(), *reservation.assignment.value(counter.name()));
        position.next += counter.step();
        state.setCounter(counter.name(), position);
    }
    state.add(handOut);
}
