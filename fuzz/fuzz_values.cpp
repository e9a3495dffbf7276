// Fuzzes the list reader and the placeholder filler together.
//
// Input: a list of values, then the two bytes 00 FF, then a configuration
// file (without them, the whole input is the list and the configuration is
// empty). The list is read by the program and by a model of the CSV rules.
// Every placeholder that no column names gets a counter's value, so that
// every row of a list that reads is filled.

#include "device/commandreader.h"
#include "values/assignment.h"
#include "values/commandtemplate.h"
#include "values/valuelist.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QByteArray separator("\0\xff", 2);
const QRegularExpression placeholder(QStringLiteral("\\{\\{([A-Za-z0-9_]+)\\}\\}"));
// Rows filled per input: enough to reach every kind of value, few enough to
// keep the fuzzer fast.
const int rowsFilled = 16;

// Names the property that failed, by its line here, before aborting.
void check(bool holds, int line = __builtin_LINE())
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz_values.cpp:%d: check failed\n", line);
    std::abort();
}

// An independent model of filling: a regular expression's matches, left to right.
QString modelFill(const QString &command, const Assignment &values)
{
    QString filled;
    int last = 0;
    for (auto it = placeholder.globalMatch(command); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        filled += command.mid(last, match.capturedStart() - last) + *values.value(match.captured(1));
        last = match.capturedEnd();
    }
    return filled + command.mid(last);
}

bool breaksCommandLine(const QString &value)
{
    return std::any_of(value.begin(), value.end(), [](QChar c) {
        return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0 || c.unicode() > 0xFF;
    });
}

// An independent model of the CSV rules, on bytes: the records, or false
// where the text breaks a rule (field counts, names and encoding aside).
bool modelRecords(const QByteArray &text, QVector<QByteArrayList> &records)
{
    int i = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const int n = text.size();
    const auto at = [&](int k) { return k < n ? text.at(k) : '\0'; };
    while (i < n) {
        if (at(i) == '\n' || (at(i) == '\r' && i + 1 < n && at(i + 1) == '\n')) {
            i += at(i) == '\n' ? 1 : 2;
            continue;
        }
        QByteArrayList fields;
        for (;;) {
            QByteArray field;
            if (at(i) == '"' && i < n) {
                for (++i;; ++i) {
                    if (i >= n)
                        return false;
                    if (at(i) == '"' && (i + 1 >= n || at(i + 1) != '"'))
                        break;
                    if (at(i) == '"')
                        ++i;
                    field += at(i);
                }
                ++i;
            } else {
                for (; i < n && !QByteArray(",\r\n\"").contains(at(i)); ++i)
                    field += at(i);
                if (i < n && at(i) == '"')
                    return false;
            }
            fields << field;
            if (i < n && at(i) == ',') {
                ++i;
                continue;
            }
            if (i >= n || at(i) == '\n' || (at(i) == '\r' && i + 1 < n && at(i + 1) == '\n')) {
                i += i >= n ? 0 : at(i) == '\n' ? 1 : 2;
                break;
            }
            return false;
        }
        records << fields;
    }
    return true;
}

QByteArrayList utf8(const QStringList &texts)
{
    QByteArrayList bytes;
    for (const QString &text : texts)
        bytes << text.toUtf8();
    return bytes;
}

// What the reader made of `text` is what the model makes of it.
void checkAgainstModel(const QByteArray &text, const ValueList &list, bool read)
{
    QVector<QByteArrayList> records;
    const bool modelRead = modelRecords(text, records);
    check(modelRead || !read);
    if (!read)
        return;
    check(records.size() == list.rowCount() + 1);
    check(records.first() == utf8(list.columns()));
    for (int row = 1; row <= list.rowCount(); ++row) {
        const QJsonObject fields = list.assignmentOf(row).toJson()[QStringLiteral("fields")].toObject();
        QStringList values;
        for (const QString &column : list.columns())
            values << fields[column].toString();
        check(records.at(row) == utf8(values));
    }
}

void checkList(const ValueList &list)
{
    const QStringList columns = list.columns();
    check(!columns.isEmpty() && QSet<QString>(columns.begin(), columns.end()).size() == columns.size());
    check(!columns.contains(QString()));
    check(list.rowCount() > 0);
    for (int row = 2; row <= list.rowCount(); ++row)
        check(list.lineOf(row) > list.lineOf(row - 1));
}

void checkFill(const QStringList &commands, const CommandTemplate &commandTemplate, const Assignment &values)
{
    QStringList filled;
    QString error;
    bool broken = false;
    for (const CommandTemplate::Placeholder &used : commandTemplate.placeholders())
        broken = broken || breaksCommandLine(*values.value(used.name));
    const bool ok = commandTemplate.fill(values, filled, error);
    check(ok == !broken);
    check(ok == error.isEmpty());
    if (!ok)
        return;
    check(filled.size() == commands.size());
    for (int i = 0; i < filled.size(); ++i) {
        const QString &command = filled.at(i);
        check(command.endsWith(QLatin1Char('\r')) && command.count(QLatin1Char('\r')) == 1);
        // A NUL of the configuration's own is reported when it is sent, as
        // ever; the values add none.
        check(!command.contains(QLatin1Char('\n')));
        check(command.count(QChar(0)) == commands.at(i).count(QChar(0)));
        check(command == modelFill(commands.at(i), values));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int split = input.indexOf(separator);
    QTextStream configuration(split < 0 ? QByteArray() : input.mid(split + separator.size()));
    QVector<int> lines;
    const QStringList commands = readCommands(configuration, lines);
    const CommandTemplate commandTemplate(commands, lines);

    QStringList modelNames;
    for (const QString &command : commands) {
        for (auto it = placeholder.globalMatch(command); it.hasNext();)
            modelNames << it.next().captured(1);
    }
    modelNames.removeDuplicates();
    QStringList names;
    for (const CommandTemplate::Placeholder &found : commandTemplate.placeholders()) {
        names << found.name;
        check(commands.at(lines.indexOf(found.line)).contains(QStringLiteral("{{%1}}").arg(found.name)));
    }
    check(names == modelNames);

    ValueList list;
    QString error;
    const QByteArray csv = split < 0 ? input : input.left(split);
    const bool read = list.parse(csv, QStringLiteral("fuzz.csv"), error);
    check(read == error.isEmpty());
    checkAgainstModel(csv, list, read);
    if (!read)
        return 0;
    checkList(list);
    const auto withoutColumn = commandTemplate.withoutValue(list.columns());
    for (int row = 1; row <= std::min(list.rowCount(), rowsFilled); ++row) {
        Assignment values = list.assignmentOf(row);
        for (const CommandTemplate::Placeholder &counter : withoutColumn)
            values.addCounter(counter.name, QString::number(row));
        checkFill(commands, commandTemplate, values);
    }
    return 0;
}
