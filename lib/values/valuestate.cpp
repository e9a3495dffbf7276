#include "values/valuestate.h"

#include "values/counteroption.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <limits>

namespace {
const QString formatName = QStringLiteral("morlank-values-state");
const int formatVersion = 1;
// The next value of a counter may be one step past the largest it hands out.
const int maximumNextDigits = CounterOption::maximumDigits + 1;
const QByteArray handOutSeparator(",\n    ");

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

int lineAt(const QByteArray &bytes, int offset)
{
    return int(bytes.left(offset).count('\n')) + 1;
}

// The handed-out values as the file holds them, one a line, when it is laid
// out as toJson() writes it; else nothing, and they are written anew. A raw
// line feed can only stand between values: inside strings it is escaped.
QByteArray handOutText(const QByteArray &bytes, int count)
{
    const QByteArray opening("\"handed_out\": [\n    ");
    const QByteArray closing("\n  ]\n}\n");
    const int start = bytes.indexOf(opening) + opening.size();
    const int length = bytes.size() - closing.size() - start;
    if (start < opening.size() || length <= 0 || !bytes.endsWith(closing))
        return QByteArray();
    const QByteArray text = bytes.mid(start, length);
    return text.count(handOutSeparator) + 1 == count ? text : QByteArray();
}

bool isWholeNumber(const QJsonValue &value, int lowest, int highest)
{
    const double number = value.toDouble(-1);
    return value.isDouble() && number == int(number) && number >= lowest && number <= highest;
}
} // namespace

bool ValueState::parse(const QByteArray &bytes, QString &error)
{
    *this = ValueState();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("line %1: %2")
                    .arg(lineAt(bytes, parseError.offset))
                    .arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != formatName) {
        error = QStringLiteral("its \"format\" is not \"%1\"").arg(formatName);
        return false;
    }
    if (root.value(QStringLiteral("version")).toInt() != formatVersion) {
        error = QStringLiteral("it is of version %1; this program reads version %2")
                    .arg(root.value(QStringLiteral("version")).toVariant().toString())
                    .arg(formatVersion);
        return false;
    }
    const QJsonValue handedOut = root.value(QStringLiteral("handed_out"));
    if (!readList(root.value(QStringLiteral("list")), error)
        || !readCounters(root.value(QStringLiteral("counters")), error) || !readHandOuts(handedOut, error))
        return false;
    handOutLines = handOutText(bytes, handOuts);
    if (handOutLines.isEmpty()) {
        handOuts = 0;
        for (const QJsonValue &handOut : handedOut.toArray())
            appendLine(handOut.toObject());
    }
    return true;
}

bool ValueState::readList(const QJsonValue &value, QString &error)
{
    if (value.isNull())
        return true;
    const QJsonObject list = value.toObject();
    const QRegularExpression sha256(QStringLiteral("^[0-9a-f]{64}$"));
    const QJsonValue rows = list.value(QStringLiteral("rows"));
    if (!list.value(QStringLiteral("path")).isString()
        || !sha256.match(list.value(QStringLiteral("sha256")).toString()).hasMatch()
        || !isWholeNumber(rows, 1, std::numeric_limits<int>::max())) {
        error = QStringLiteral("\"list\" is neither null nor an object with a \"path\", a \"sha256\" "
                               "and a number of \"rows\"");
        return false;
    }
    setList({list.value(QStringLiteral("path")).toString(),
             list.value(QStringLiteral("sha256")).toString(), rows.toInt()});
    return true;
}

bool ValueState::readCounters(const QJsonValue &value, QString &error)
{
    if (!value.isObject()) {
        error = QStringLiteral("\"counters\" is not an object");
        return false;
    }
    const QJsonObject all = value.toObject();
    const QRegularExpression digits(QStringLiteral("^[0-9]{1,%1}$").arg(maximumNextDigits));
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonObject counter = it.value().toObject();
        const QString next = counter.value(QStringLiteral("next")).toString();
        const QJsonValue width = counter.value(QStringLiteral("width"));
        if (!digits.match(next).hasMatch()
            || !(width.isNull() || isWholeNumber(width, 1, CounterOption::maximumDigits))) {
            error = QStringLiteral("counter %1 has no \"next\" value of up to %2 digits with a "
                                   "\"width\" of null or 1 to %3")
                        .arg(it.key())
                        .arg(maximumNextDigits)
                        .arg(CounterOption::maximumDigits);
            return false;
        }
        counters.insert(it.key(), {next.toULongLong(), width.toInt()});
    }
    return true;
}

bool ValueState::readHandOuts(const QJsonValue &value, QString &error)
{
    if (!value.isArray()) {
        error = QStringLiteral("\"handed_out\" is not an array");
        return false;
    }
    const QJsonArray all = value.toArray();
    for (int i = 0; i < all.size(); ++i) {
        const QJsonObject handOut = all.at(i).toObject();
        const QJsonValue row = handOut.value(QStringLiteral("row"));
        const QString where = QStringLiteral("value %1 handed out").arg(i + 1);
        if (!row.isNull() && !isWholeNumber(row, 1, takenRows.size())) {
            error = QStringLiteral("the %1 has a row that is neither null nor one of the list's %2")
                        .arg(where)
                        .arg(takenRows.size());
            return false;
        }
        if (!row.isNull() && takenRows.at(row.toInt() - 1)) {
            error = QStringLiteral("the %1 has row %2, handed out before").arg(where).arg(row.toInt());
            return false;
        }
        if (!row.isNull()) {
            takenRows[row.toInt() - 1] = true;
            ++taken;
        }
    }
    handOuts = all.size();
    return true;
}

QByteArray ValueState::toJson() const
{
    QJsonObject counterObjects;
    for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
        QString next;
        CounterOption::format(it->next, it->width, next);
        const QJsonValue width = it->width > 0 ? QJsonValue(it->width) : QJsonValue();
        counterObjects.insert(it.key(),
                              QJsonObject{{QStringLiteral("next"), next}, {QStringLiteral("width"), width}});
    }
    const QByteArray list = listKnown ? compact({{QStringLiteral("path"), listRecord.path},
                                                 {QStringLiteral("sha256"), listRecord.sha256},
                                                 {QStringLiteral("rows"), listRecord.rows}})
                                      : QByteArray("null");
    const QByteArray head = "{\n  \"format\": \"" + formatName.toUtf8() + "\",\n  \"version\": "
                            + QByteArray::number(formatVersion) + ",\n  \"list\": " + list
                            + ",\n  \"counters\": " + compact(counterObjects) + ",\n  \"handed_out\": [";
    // One allocation: the handed-out values may run to many megabytes.
    QByteArray json;
    json.reserve(head.size() + handOutLines.size() + 16);
    json += head;
    if (handOuts > 0)
        json.append("\n    ").append(handOutLines).append("\n  ");
    return json.append("]\n}\n");
}

bool ValueState::hasList() const
{
    return listKnown;
}

ValueState::ListRecord ValueState::list() const
{
    return listRecord;
}

void ValueState::setList(const ListRecord &record)
{
    listKnown = true;
    listRecord = record;
    takenRows.resize(record.rows);
}

bool ValueState::isRowTaken(int row) const
{
    return takenRows.value(row - 1);
}

int ValueState::takenRowCount() const
{
    return taken;
}

bool ValueState::hasCounter(const QString &name) const
{
    return counters.contains(name);
}

ValueState::CounterPosition ValueState::counter(const QString &name) const
{
    return counters.value(name);
}

void ValueState::setCounter(const QString &name, const CounterPosition &position)
{
    counters.insert(name, position);
}

void ValueState::add(const HandOut &handOut)
{
    if (handOut.row > 0) {
        takenRows[handOut.row - 1] = true;
        ++taken;
    }
    appendLine({{QStringLiteral("row"), handOut.row > 0 ? QJsonValue(handOut.row) : QJsonValue()},
                {QStringLiteral("counters"), handOut.counters},
                {QStringLiteral("port"), handOut.port},
                {QStringLiteral("slot"), textOrNull(handOut.slot)},
                {QStringLiteral("usb_serial"), textOrNull(handOut.usbSerial)},
                {QStringLiteral("time"), handOut.time}});
}

void ValueState::appendLine(const QJsonObject &handOut)
{
    if (handOuts > 0)
        handOutLines += handOutSeparator;
    handOutLines += compact(handOut);
    ++handOuts;
}
