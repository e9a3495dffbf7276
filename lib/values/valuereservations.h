#ifndef VALUERESERVATIONS_H
#define VALUERESERVATIONS_H

#include "values/assignment.h"
#include "values/counteroption.h"
#include "values/valuelist.h"
#include "values/valuesource.h"
#include "values/valuestate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <mutex>

class CommandTemplate;
class StateFile;

// Hands out per-unit values, from a list or from counters, and never one
// twice: each is written to the state file before reserve() returns it, under
// a lock that other programs sharing the file take too. Safe to call from
// several threads at once.
class ValueReservations : public ValueSource
{
public:
    // Where values come from, as the user named them.
    struct Sources
    {
        QString list;         // a CSV file, or empty
        QStringList counters; // NAME=START[:STEP] each
        QString state;        // the state file
    };
    ValueReservations();
    ~ValueReservations() override;

    // Reads and checks everything before any port is opened: the list, the
    // counters, the state file (readable, and kept for this list) and a
    // value for every placeholder of `commands`. False, with the reason in
    // `error`, on an input error. Without a list or counter it checks only
    // that `commands` need no values.
    bool open(const Sources &sources, const CommandTemplate &commands, QString &error);
    // Whether units get values: a list or a counter was given.
    bool isInUse() const override;

    // The values for `unit`, written to the state file before it returns.
    // An empty assignment when not in use.
    Reservation reserve(const Unit &unit) override;
    // What the next unit without a row of its own would get, neither
    // reserved nor written.
    Reservation peek() override;
    bool bindsAdapter(const QString &usbSerial) const override;

private:
    bool openCounters(const QStringList &options, QString &error);
    bool refresh(QString &error);
    bool checkList(const ValueState &found, QString &error) const;
    Reservation reserveLocked(const Unit &unit);
    Reservation choose(const Unit &unit) const;
    int chooseRow(const Unit &unit, Reservation &reservation) const;
    ValueState::CounterPosition positionOf(const CounterOption &counter) const;
    void record(const Reservation &reservation, const Unit &unit);

    std::mutex mutex;
    bool hasList = false;
    ValueList list;
    QVector<CounterOption> counters;
    std::unique_ptr<StateFile> file;
    ValueState state;
    bool stateKnown = false; // `state` is what the file held as `seen`
    bool fileSeen = false;   // the state file existed when last read or written
    QByteArray seen;
};

#endif // VALUERESERVATIONS_H
