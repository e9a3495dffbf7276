#ifndef COUNTEROPTION_H
#define COUNTEROPTION_H

#include <QString>
#include <QtGlobal>

// A counter as the option --counter NAME=START[:STEP] gives it: decimal, START
// at least 0, STEP at least 1 (1 when left out). A START written with leading
// zeros fixes the width of every value ("000041" is followed by "000042");
// otherwise values have no fixed width, up to 18 digits.
class CounterOption
{
public:
    static const int maximumDigits = 18;

    // False, with the reason in `error`, when `option` breaks the rule.
    bool parse(const QString &option, QString &error);

    QString name() const;
    quint64 start() const;
    quint64 step() const;
    // The fixed number of digits, or 0 for none.
    int width() const;

    // `value` written at `width` digits (0: as many as it needs); false when
    // it needs more digits than that, or than maximumDigits.
    static bool format(quint64 value, int width, QString &text);

private:
    QString counterName;
    quint64 first = 0;
    quint64 increment = 1;
    int digits = 0;
};

#endif // COUNTEROPTION_H
