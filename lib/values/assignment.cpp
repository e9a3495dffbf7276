#include "values/assignment.h"

#include "values/valuelist.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {
QJsonValue numberOrNull(int number)
{
    return number > 0 ? QJsonValue(number) : QJsonValue();
}

void insertAll(QJsonObject &object, const QStringList &names, const QStringList &values)
{
    for (int i = 0; i < names.size(); ++i)
        object.insert(names.at(i), values.at(i));
}

// The value as it stands when a reader can tell where it ends, else as a
// JSON string.
QString shownValue(const QString &value)
{
    const bool plain = std::all_of(value.begin(), value.end(), [](QChar c) {
        return c.isPrint() && !c.isSpace() && c != QLatin1Char('"');
    });
    if (plain && !value.isEmpty())
        return value;
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}
} // namespace

void Assignment::setRow(int row, int line, const QStringList &columns, const QStringList &values)
{
    rowNumber = row;
    lineNumber = line;
    columnNames = columns;
    columnValues = values;
}

void Assignment::addCounter(const QString &name, const QString &value)
{
    counterNames << name;
    counterValues << value;
}

int Assignment::row() const
{
    return rowNumber;
}

const QString *Assignment::value(const QString &name) const
{
    const int column = columnNames.indexOf(name);
    if (column >= 0)
        return &columnValues.at(column);
    const int counter = counterNames.indexOf(name);
    return counter >= 0 ? &counterValues.at(counter) : nullptr;
}

QString Assignment::sourceOf(const QString &name) const
{
    if (counterNames.contains(name))
        return QStringLiteral("of counter %1").arg(name);
    return QStringLiteral("on row %1 (line %2)").arg(rowNumber).arg(lineNumber);
}

Assignment Assignment::fromJson(const QJsonObject &json)
{
    Assignment assignment;
    const QJsonObject fields = json.value(QStringLiteral("fields")).toObject();
    const QJsonObject counters = json.value(QStringLiteral("counters")).toObject();
    for (auto field = fields.begin(); field != fields.end(); ++field) {
        if (!counters.contains(field.key())) {
            assignment.columnNames << field.key();
            assignment.columnValues << field.value().toString();
        }
    }
    for (auto counter = counters.begin(); counter != counters.end(); ++counter)
        assignment.addCounter(counter.key(), counter.value().toString());
    assignment.rowNumber = json.value(QStringLiteral("row")).toInt();
    assignment.lineNumber = json.value(QStringLiteral("line")).toInt();
    return assignment;
}

QJsonObject Assignment::toJson() const
{
    QJsonObject fields;
    insertAll(fields, columnNames, columnValues);
    insertAll(fields, counterNames, counterValues);
    QJsonObject counters;
    insertAll(counters, counterNames, counterValues);
    return {{QStringLiteral("row"), numberOrNull(rowNumber)},
            {QStringLiteral("line"), numberOrNull(lineNumber)},
            {QStringLiteral("fields"), fields},
            {QStringLiteral("counters"), counters}};
}

QString Assignment::toText() const
{
    QStringList parts;
    for (int i = 0; i < columnNames.size(); ++i) {
        if (columnNames.at(i) != ValueList::usbSerialColumn)
            parts << columnNames.at(i) + QLatin1Char('=') + shownValue(columnValues.at(i));
    }
    for (int i = 0; i < counterNames.size(); ++i)
        parts << counterNames.at(i) + QLatin1Char('=') + shownValue(counterValues.at(i));
    if (rowNumber > 0)
        parts << QStringLiteral("(row %1)").arg(rowNumber);
    return parts.join(QLatin1Char(' '));
}
