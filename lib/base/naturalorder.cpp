#include "base/naturalorder.h"

#include <QStringView>

bool naturalLess(const QString &a, const QString &b)
{
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    // The run of digits at `at` without its leading zeros; moves `at` past it.
    const auto number = [&](const QString &text, int &at) {
        while (at + 1 < text.size() && text.at(at) == QLatin1Char('0') && isDigit(text.at(at + 1)))
            ++at;
        const int from = at;
        while (at < text.size() && isDigit(text.at(at)))
            ++at;
        return QStringView(text).mid(from, at - from);
    };
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a.at(i)) && isDigit(b.at(j))) {
            const QStringView m = number(a, i);
            const QStringView n = number(b, j);
            if (m.size() != n.size())
                return m.size() < n.size();
            if (m != n)
                return m < n;
        } else if (a.at(i) != b.at(j)) {
            return a.at(i) < b.at(j);
        } else {
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}
