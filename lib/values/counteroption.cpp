#include "values/counteroption.h"

#include "values/placeholders.h"

#include <algorithm>

namespace {
bool isDecimal(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// `text` as a number, or an error naming `what` it is.
bool readNumber(const QString &text, const QString &what, quint64 &number, QString &error)
{
    if (!isDecimal(text)) {
        error = QStringLiteral("%1 must be a decimal number, not '%2'").arg(what, text);
        return false;
    }
    if (text.size() > CounterOption::maximumDigits) {
        error = QStringLiteral("%1 has more than %2 digits").arg(what).arg(CounterOption::maximumDigits);
        return false;
    }
    number = text.toULongLong();
    return true;
}
} // namespace

bool CounterOption::parse(const QString &option, QString &error)
{
    const QString usage = QStringLiteral("counter %1: ").arg(option);
    const int equals = option.indexOf(QLatin1Char('='));
    if (equals < 0) {
        error = usage + QStringLiteral("write it as NAME=START or NAME=START:STEP");
        return false;
    }
    counterName = option.left(equals);
    if (!isPlaceholderName(counterName)) {
        error = usage + QStringLiteral("the name must be ASCII letters, digits or underscores");
        return false;
    }
    const QString numbers = option.mid(equals + 1);
    const int colon = numbers.indexOf(QLatin1Char(':'));
    const QString startText = colon < 0 ? numbers : numbers.left(colon);
    if (!readNumber(startText, QStringLiteral("START"), first, error)
        || (colon >= 0 && !readNumber(numbers.mid(colon + 1), QStringLiteral("STEP"), increment, error))) {
        error.prepend(usage);
        return false;
    }
    if (increment == 0) {
        error = usage + QStringLiteral("STEP must be at least 1");
        return false;
    }
    digits = startText.size() > 1 && startText.startsWith(QLatin1Char('0')) ? startText.size() : 0;
    return true;
}

QString CounterOption::name() const
{
    return counterName;
}

quint64 CounterOption::start() const
{
    return first;
}

quint64 CounterOption::step() const
{
    return increment;
}

int CounterOption::width() const
{
    return digits;
}

bool CounterOption::format(quint64 value, int width, QString &text)
{
    text = QString::number(value);
    if (text.size() > (width > 0 ? width : maximumDigits))
        return false;
    text = text.rightJustified(width, QLatin1Char('0'));
    return true;
}
